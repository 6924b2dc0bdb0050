// The three settings files: each holds the exact image of one record
// (164, 288 or 100 bytes, nothing before or after) and lies in the
// directory of the application's executable, so each application keeps its
// own settings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "symbology/symbology_settings.h"

namespace qv {

inline constexpr char16_t kEnableFileName[] = u"BarcodeRO25Enable.dat";
inline constexpr char16_t kDetailFileName[] = u"BarcodeRO25Detail.dat";
inline constexpr char16_t kOtherFileName[] = u"BarcodeRO25Other.dat";

// The executable's directory with its trailing '/', or empty when unknown;
// where the application may not write there, the user's state directory for
// the program (said in the log at each open).
std::u16string GetSettingDirectory();

// Puts the files in `directory` (which must end in '/') instead of the
// executable's, for tests and for hosts that run the library from an
// interpreter; nullopt goes back to the executable's directory.
void SetSettingDirectoryOverride(std::optional<std::u16string> directory);

// Reads up to the record's size from its file into `record`. A shorter file
// fills only the start and the rest of `record` keeps what it held; a longer
// one gives only its first bytes. 1 when the file was opened and read, 0
// when it could not be (missing, or held by another opener): `record` is
// then untouched.
int32_t LoadEnableSetting(EnableRecord& record);
int32_t LoadDetailSetting(DetailRecord& record);
int32_t LoadOtherSetting(OtherRecord& record);

// Writes the store's record to its file. The new file replaces the old one
// whole (temporary file, flush, rename): a save that fails or is cut off
// leaves the previous file as it was. A file held by another opener, or one
// the application may not write, is left alone; a file that already holds
// these bytes is not written at all.
void SaveEnableSetting(const SymbologySettings& store);
void SaveDetailSetting(const SymbologySettings& store);
void SaveOtherSetting(const SymbologySettings& store);

// Puts `value` into one slot of the record's file if that file exists and
// holds something else there; the file's other bytes stay as they are.
void UpdateEnableFileSlot(size_t slot, int32_t value);
void UpdateDetailFileSlot(size_t slot, int32_t value);

}  // namespace qv
