#include "delivery/delivery_options.h"

#include <algorithm>
#include <memory>
#include <span>
#include <vector>

#include "platform/storage/registry.h"
#include "platform/text/utf.h"

namespace qv {
namespace {

using platform::RegistryKey;
using platform::RegStatus;
using platform::RegType;
using platform::RegWrite;

std::unique_ptr<RegistryKey> OpenKey() {
    std::unique_ptr<RegistryKey> key;
    if (RegistryKey::Open(kOptionsKey, key) != RegStatus::Ok) return nullptr;
    return key;
}

// Opens or creates the key and writes the values in one rewrite of the
// registry, so that no reader and no crash sees part of a group (or the
// key without its values, which would read as values missing rather than
// as the defaults of a missing key).
void Write(std::span<const RegWrite> values) {
    RegistryKey::CreateAndSetValues(kOptionsKey, values);
}

// Only a successful read of a 32-bit number changes the field; a key byte
// keeps the low 8 bits.
template <class T>
void ReadNumber(RegistryKey& key, std::u16string_view name, std::atomic<T>& field) {
    uint32_t value = 0;
    if (key.QueryDword(name, &value) == RegStatus::Ok) field = static_cast<T>(value);
}

// Reads a string of at most kStoredPathUnits units, terminator included, into
// `field`; a longer, missing or non-string value leaves the field as it was.
void ReadPath(RegistryKey& key, std::u16string_view name, char16_t (&field)[kSoundPathUnits]) {
    char16_t work[kStoredPathUnits] = {};
    RegType type{};
    uint32_t size = sizeof work;
    if (key.QueryValue(name, &type, work, &size) != RegStatus::Ok || type != RegType::String) {
        return;
    }
    // The stored value need not be terminated; never read past what came.
    const size_t units = std::min<size_t>(size / 2, kStoredPathUnits - 1);
    const size_t length = std::find(work, work + units, u'\0') - work;
    std::fill(std::begin(field), std::end(field), u'\0');
    std::copy_n(work, length, field);
}

std::u16string_view UpToZero(std::u16string_view text) {
    return text.substr(0, text.find(u'\0'));
}

// The stored form: 512 bytes of the path (cut to 255 units, never inside a
// surrogate pair, which the registry would refuse), its terminator and zero
// filler.
struct StoredPath {
    explicit StoredPath(const char16_t (&path)[kSoundPathUnits]) {
        const std::u16string_view whole = UpToZero({path, kSoundPathUnits});
        std::copy_n(whole.data(), platform::CutUnits(whole, kStoredPathUnits - 1), units);
    }
    std::u16string_view View() const { return {units, kStoredPathUnits}; }
    char16_t units[kStoredPathUnits] = {};
};

void CopyPath(char16_t (&field)[kSoundPathUnits], std::u16string_view path) {
    const std::u16string_view text = UpToZero(path);
    std::fill(std::begin(field), std::end(field), u'\0');
    std::copy_n(text.data(), platform::CutUnits(text, kSoundPathUnits - 1), field);
}

}  // namespace

void DeliveryOptions::LoadPrefix() {
    auto key = OpenKey();
    if (!key) {
        m_prefix1 = 0;
        m_prefix2 = 0;
        return;
    }
    ReadNumber(*key, u"PREFIX1", m_prefix1);
    ReadNumber(*key, u"PREFIX2", m_prefix2);
}

void DeliveryOptions::LoadSuffix() {
    auto key = OpenKey();
    if (!key) {
        m_suffix1 = 0x0A;
        m_suffix2 = 0;
        return;
    }
    ReadNumber(*key, u"SUFFIX1", m_suffix1);
    ReadNumber(*key, u"SUFFIX2", m_suffix2);
}

void DeliveryOptions::LoadReceiveType() {
    auto key = OpenKey();
    uint32_t value = 0;
    if (!key || key->QueryDword(u"RECEIVETYPE", &value) != RegStatus::Ok) {
        m_storedRecvType = 0;
        return;
    }
    m_storedRecvType = value <= 1 ? static_cast<int32_t>(value) : 2;
}

void DeliveryOptions::LoadSound() {
    auto key = OpenKey();
    if (!key) {
        m_sndManual = 1;
        m_sndManual2 = 0;
        CopyPath(m_sndPathSuccess, kDefaultSuccessSoundPath);
        CopyPath(m_sndPathFail, u"");
        return;
    }
    ReadNumber(*key, u"SNDMANUAL", m_sndManual);
    ReadNumber(*key, u"SNDMANUAL2", m_sndManual2);
    ReadPath(*key, u"SNDPATH_SUCCESS", m_sndPathSuccess);
    ReadPath(*key, u"SNDPATH_FAIL", m_sndPathFail);
}

int32_t DeliveryOptions::LoadPasteClipboard() {
    uint32_t paste = 1;
    if (auto key = OpenKey()) key->QueryDword(u"PasteClipboard", &paste);
    return static_cast<int32_t>(paste);
}

void DeliveryOptions::SavePrefix() const {
    const RegWrite values[] = {RegWrite::Dword(u"PREFIX1", m_prefix1),
                               RegWrite::Dword(u"PREFIX2", m_prefix2)};
    Write(values);
}

void DeliveryOptions::SaveSuffix() const {
    const RegWrite values[] = {RegWrite::Dword(u"SUFFIX1", m_suffix1),
                               RegWrite::Dword(u"SUFFIX2", m_suffix2)};
    Write(values);
}

void DeliveryOptions::SavePrefixAndSuffix() const {
    const RegWrite values[] = {
        RegWrite::Dword(u"PREFIX1", m_prefix1), RegWrite::Dword(u"PREFIX2", m_prefix2),
        RegWrite::Dword(u"SUFFIX1", m_suffix1), RegWrite::Dword(u"SUFFIX2", m_suffix2)};
    Write(values);
}

void DeliveryOptions::SaveReceiveType() const {
    const RegWrite value = RegWrite::Dword(u"RECEIVETYPE", static_cast<uint32_t>(m_storedRecvType));
    Write({&value, 1});
}

void DeliveryOptions::SaveSound() const {
    // Only types 0 to 2 have a "use" value; type 3 leaves it as it was.
    const auto hasUseValue = [](int32_t type) { return type >= 0 && type <= 2; };
    const int32_t success = m_sndManual;
    const int32_t fail = m_sndManual2;
    const StoredPath successPath(m_sndPathSuccess);
    const StoredPath failPath(m_sndPathFail);
    std::vector<RegWrite> values;
    values.push_back(RegWrite::Dword(u"SNDMANUAL", static_cast<uint32_t>(success)));
    if (hasUseValue(success)) {
        values.push_back(RegWrite::Dword(u"SNDUSE_SUCCESS", static_cast<uint32_t>(success)));
    }
    values.push_back(RegWrite::Dword(u"SNDMANUAL2", static_cast<uint32_t>(fail)));
    if (hasUseValue(fail)) {
        values.push_back(RegWrite::Dword(u"SNDUSE_FAIL", static_cast<uint32_t>(fail)));
    }
    values.push_back(RegWrite::String(u"SNDPATH_SUCCESS", successPath.View()));
    values.push_back(RegWrite::String(u"SNDPATH_FAIL", failPath.View()));
    Write(values);
}

void DeliveryOptions::SaveDelay(int32_t mode, int32_t milliseconds) {
    const RegWrite values[] = {
        RegWrite::Dword(u"DELAYMODE", static_cast<uint32_t>(mode >= 0 && mode <= 5 ? mode : 0)),
        RegWrite::Dword(u"DELAY", static_cast<uint32_t>(std::clamp(milliseconds, 0, 1000)))};
    Write(values);
}

void DeliveryOptions::SetSoundPath(int32_t which, std::u16string_view path) {
    CopyPath(which == 1 ? m_sndPathSuccess : m_sndPathFail, path);
}

std::u16string_view DeliveryOptions::SoundPath(int32_t which) const {
    return which == 1 ? m_sndPathSuccess : m_sndPathFail;
}

}  // namespace qv
