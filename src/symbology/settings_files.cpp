#include "symbology/settings_files.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <span>

#include "log/write_log.h"
#include "platform/storage/files.h"
#include "symbology/codec_guard.h"

namespace qv {
namespace {

std::mutex g_overrideMutex;
std::optional<std::u16string> g_directoryOverride;

// `*unwritable` names the application's directory when the files had to go
// elsewhere.
std::u16string SettingDirectory(std::u16string* unwritable) {
    {
        std::lock_guard lock(g_overrideMutex);
        if (g_directoryOverride) return *g_directoryOverride;
    }
    return platform::ApplicationDataDirectory(unwritable);
}

std::u16string FullPath(const char16_t* fileName) {
    return GetSettingDirectory() + fileName;
}

int32_t LoadFile(const char16_t* fileName, std::u16string_view logFormat, void* record,
                 size_t size) {
    const std::u16string path = FullPath(fileName);
    WriteLog(logFormat, path);
    // Shared: two applications opening at once both load their records; only
    // a save (or an opener without sharing) keeps a load out.
    platform::File file = platform::File::OpenForReading(path, platform::FileShare::Read);
    if (!file.IsOpen()) return 0;
    uint8_t image[sizeof(DetailRecord)];
    const int64_t n = file.Read(image, size);
    if (n < 0) {
        WriteLog(u"File Exception [%s]\r\n", platform::FileErrorText(file.Error()));
        return 0;
    }
    std::memcpy(record, image, static_cast<size_t>(n));
    return 1;
}

int32_t SaveFile(const char16_t* fileName, std::u16string_view logFormat, const void* record,
                 size_t size) {
    const std::u16string path = FullPath(fileName);
    WriteLog(logFormat, path);
    const int error = platform::ReplaceFileContents(
        path, std::span<const uint8_t>(static_cast<const uint8_t*>(record), size));
    // A file that cannot be opened for writing (held by another opener,
    // read-only) is skipped silently, as a plain create would be; a fault
    // while writing is worth naming.
    const bool refused = error == EWOULDBLOCK || error == EAGAIN || error == EACCES ||
                         error == EPERM || error == EROFS;
    if (error != 0 && !refused) {
        WriteLog(u"File Exception [%s]\r\n", platform::FileErrorText(error));
    }
    return error == 0 ? 1 : 0;
}

// Loads and saves end with their result whatever happens inside.
int32_t Load(const char16_t* fileName, std::u16string_view logFormat, void* record, size_t size) {
    return GuardCodec([&] { return LoadFile(fileName, logFormat, record, size); });
}

void Save(const char16_t* fileName, std::u16string_view logFormat, const void* record,
          size_t size) {
    GuardCodec([&] { return SaveFile(fileName, logFormat, record, size); });
}

// Rewrites one slot of a record file that exists; a missing file stays
// missing. The rest of the file is kept as it is (cut or filled to the
// record's size, as a load would see it), not taken from the store.
int32_t UpdateSlot(const char16_t* fileName, std::u16string_view logFormat, size_t size,
                   size_t slot, int32_t value) {
    const std::u16string path = FullPath(fileName);
    uint8_t image[sizeof(DetailRecord)] = {};
    {
        platform::File file = platform::File::OpenForReading(path, platform::FileShare::Read);
        if (!file.IsOpen()) return 0;
        if (file.Read(image, size) < 0) {
            WriteLog(u"File Exception [%s]\r\n", platform::FileErrorText(file.Error()));
            return 0;
        }
    }
    if (ReadSlot(image, slot) == value) return 1;
    WriteSlot(image, slot, value);
    return SaveFile(fileName, logFormat, image, size);
}

}  // namespace

std::u16string GetSettingDirectory() {
    return SettingDirectory(nullptr);
}

void SetSettingDirectoryOverride(std::optional<std::u16string> directory) {
    std::lock_guard lock(g_overrideMutex);
    g_directoryOverride = std::move(directory);
}

int32_t LoadEnableSetting(EnableRecord& record) {
    // Loaded first at every open: the place to say where the files went.
    std::u16string unwritable;
    const std::u16string dir = SettingDirectory(&unwritable);
    if (!unwritable.empty()) {
        WriteLog(u"Settings files are kept in %s: %s cannot be written\r\n", dir, unwritable);
    }
    return Load(kEnableFileName, u"Get Enable Setting : %s\r\n", &record, sizeof record);
}

int32_t LoadDetailSetting(DetailRecord& record) {
    return Load(kDetailFileName, u"Get Detail Setting : %s\r\n", &record, sizeof record);
}

int32_t LoadOtherSetting(OtherRecord& record) {
    return Load(kOtherFileName, u"Get Other Setting : %s\r\n", &record, sizeof record);
}

void SaveEnableSetting(const SymbologySettings& store) {
    Save(kEnableFileName, u"Set Enable Setting : %s\r\n", &store.m_enable, sizeof store.m_enable);
}

void SaveDetailSetting(const SymbologySettings& store) {
    Save(kDetailFileName, u"Set Detail Setting : %s\r\n", &store.m_detail, sizeof store.m_detail);
}

void UpdateEnableFileSlot(size_t slot, int32_t value) {
    GuardCodec([&] {
        return UpdateSlot(kEnableFileName, u"Set Enable Setting : %s\r\n", sizeof(EnableRecord),
                          slot, value);
    });
}

void UpdateDetailFileSlot(size_t slot, int32_t value) {
    GuardCodec([&] {
        return UpdateSlot(kDetailFileName, u"Set Detail Setting : %s\r\n", sizeof(DetailRecord),
                          slot, value);
    });
}

void SaveOtherSetting(const SymbologySettings& store) {
    Save(kOtherFileName, u"Set Other Setting : %s\r\n", &store.m_other, sizeof store.m_other);
}

}  // namespace qv
