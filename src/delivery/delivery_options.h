// Delivery options kept in the registry key "VARN\QV_BarcodeAPI" under
// HKEY_LOCAL_MACHINE, so that they outlive the application: prefix and
// suffix key bytes, the stored receive type, the good-read and failed-read
// notification types and sound paths. Each operation opens the key, reads or
// writes, and closes it again.
//
// Registry failures are silent: a missing key gives the defaults, a missing
// value leaves its field as it was, a failed write leaves the registry as it
// was while the fields still change.
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

namespace qv {

inline constexpr std::u16string_view kOptionsKey = u"VARN\\QV_BarcodeAPI";
inline constexpr std::u16string_view kDefaultSuccessSoundPath = u"\\Nand\\QVApp\\QV_Barcode.wav";

// Units of an in-memory sound path, terminator included.
inline constexpr size_t kSoundPathUnits = 512;
// Units of a stored sound path, terminator included (512 bytes).
inline constexpr size_t kStoredPathUnits = 256;

class DeliveryOptions {
  public:
    DeliveryOptions() = default;
    DeliveryOptions(const DeliveryOptions&) = delete;
    DeliveryOptions& operator=(const DeliveryOptions&) = delete;

    void LoadPrefix();
    void LoadSuffix();
    void LoadReceiveType();
    void LoadSound();
    // The paste flag: 1 unless the key holds another PasteClipboard value.
    static int32_t LoadPasteClipboard();

    void SavePrefix() const;
    void SaveSuffix() const;
    // Both pairs in one write, as the closing saves them.
    void SavePrefixAndSuffix() const;
    void SaveReceiveType() const;
    void SaveSound() const;
    // DELAYMODE gets the mode if it is 0 to 5, else 0; DELAY the delay
    // limited to 0..1000.
    static void SaveDelay(int32_t mode, int32_t milliseconds);

    // which 1: the good-read path, any other: the failed-read one. Kept
    // whole up to kSoundPathUnits - 1 units.
    void SetSoundPath(int32_t which, std::u16string_view path);
    std::u16string_view SoundPath(int32_t which) const;

    // The reader reads the key bytes while the application may change them.
    std::atomic<uint8_t> m_suffix2{0};
    std::atomic<uint8_t> m_suffix1{0};
    std::atomic<uint8_t> m_prefix2{0};
    std::atomic<uint8_t> m_prefix1{0};
    std::atomic<int32_t> m_storedRecvType{0};
    std::atomic<int32_t> m_sndManual{0};
    std::atomic<int32_t> m_sndManual2{0};
    char16_t m_sndPathSuccess[kSoundPathUnits] = {};
    char16_t m_sndPathFail[kSoundPathUnits] = {};
};

}  // namespace qv
