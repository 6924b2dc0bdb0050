// Arbitrary registry files through the .reg reader and writer. A file that
// is read must write back byte for byte and read again to the same values;
// changes made to it must read back as made, leaving every other value as
// it was. Nothing may crash.
//
// Input: the file's bytes. Its first byte also picks the changes made.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "platform/storage/reg_file.h"

namespace {

using qv::platform::regfile::Document;
using qv::platform::regfile::Value;

void Require(bool condition) {
    if (!condition) std::abort();
}

constexpr std::array<std::u16string_view, 5> kKeys = {u"VARN\\QV_BarcodeAPI", u"Ident", u"A",
                                                      u"a\\B", u"\u00C4"};
constexpr std::array<std::u16string_view, 6> kNames = {u"PREFIX1", u"SNDPATH_SUCCESS", u"",
                                                       u"v",       u"q\"uote\\",       u"\u00E4"};
constexpr std::array<std::u16string_view, 4> kTexts = {u"", u"\\Nand\\x.wav", u"\u20AC \U0001F600",
                                                       u"[z];"};

std::optional<Value> Find(const Document& doc, std::u16string_view key, std::u16string_view name) {
    const Value* v = doc.FindValue(key, name);
    return v != nullptr ? std::optional<Value>(*v) : std::nullopt;
}

// The document read back from its own bytes: the same bytes, the same values.
Document ReadBack(const Document& doc) {
    const std::string text = doc.Serialize();
    std::optional<Document> again = Document::Parse(text);
    Require(again.has_value());
    Require(again->Serialize() == text);
    for (const auto key : kKeys) {
        Require(again->HasKey(key) == doc.HasKey(key));
        for (const auto name : kNames)
            Require(Find(*again, key, name) == Find(doc, key, name));
    }
    return *again;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::optional<Document> doc = Document::Parse(text);
    if (!doc) return 0;
    // Whatever was read is kept byte for byte; only a file without a header
    // (empty or blank) reads as the fresh hive and writes as such.
    if (doc->Serialize() != text) {
        for (const auto key : kKeys)
            Require(!doc->HasKey(key));
    }
    Document back = ReadBack(*doc);

    unsigned pick = size > 0 ? data[0] : 0;
    for (int step = 0; step < 4; ++step, pick = pick * 7 + 3) {
        const auto key = kKeys[pick % kKeys.size()];
        const auto name = kNames[(pick / 5) % kNames.size()];
        const Value value = (pick & 0x40) != 0 ? Value::Dword(pick * 2654435761u)
                                               : Value::String(kTexts[(pick / 3) % kTexts.size()]);
        // As the registry does: what the file's encoding cannot hold is refused.
        if (!back.CanEncode(key) || !back.CanEncode(name) || !back.CanEncode(value.text)) continue;
        back.CreateKey(key);
        back.SetValue(key, name, value);
        Require(Find(back, key, name) == value);
        back = ReadBack(back);
        Require(Find(back, key, name) == value);
    }
    return 0;
}
