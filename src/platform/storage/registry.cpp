#include "platform/storage/registry.h"

#include <vector>

namespace qv::platform {

RegStatus RegistryKey::QueryDword(std::u16string_view name, uint32_t* value) {
    if (value == nullptr) return RegStatus::Failed;
    RegType type{};
    uint8_t bytes[4] = {};
    uint32_t size = sizeof bytes;
    const RegStatus status = QueryValue(name, &type, bytes, &size);
    if ((status == RegStatus::Ok || status == RegStatus::MoreData) &&
        (type != RegType::Dword || size != sizeof bytes)) {
        return RegStatus::WrongType;
    }
    if (status != RegStatus::Ok) return status;
    *value = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
             static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    return RegStatus::Ok;
}

RegStatus RegistryKey::QueryString(std::u16string_view name, std::u16string* value) {
    if (value == nullptr) return RegStatus::Failed;
    // Another process may lengthen the value between asking its size and
    // reading it; a few attempts cover that.
    for (int attempt = 0; attempt < 3; ++attempt) {
        RegType type{};
        uint32_t size = 0;
        RegStatus status = QueryValue(name, &type, nullptr, &size);
        if (status != RegStatus::Ok) return status;
        if (type != RegType::String) return RegStatus::WrongType;
        std::vector<uint8_t> bytes(size);
        status = QueryValue(name, &type, bytes.data(), &size);
        if (status == RegStatus::MoreData) continue;
        if (status != RegStatus::Ok) return status;
        if (type != RegType::String) return RegStatus::WrongType;
        std::u16string text;
        for (size_t i = 0; i + 1 < size; i += 2) {
            const auto unit = static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
            if (unit == 0) break;
            text += unit;
        }
        *value = std::move(text);
        return RegStatus::Ok;
    }
    return RegStatus::MoreData;
}

}  // namespace qv::platform
