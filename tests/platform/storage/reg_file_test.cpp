#include "platform/storage/reg_file.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>

namespace qv::platform::regfile {
namespace {

Document MustParse(std::string_view text) {
    ParseError error;
    auto doc = Document::Parse(text, &error);
    EXPECT_TRUE(doc.has_value()) << "line " << error.line << ": " << error.reason;
    return doc ? *doc : Document();
}

TEST(RegFile, HandWrittenFileWithCommentsRegedit4AndEscapes) {
    const std::string text =
        "\xEF\xBB\xBFREGEDIT4\r\n"
        "; written by hand\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\Ident]\r\n"
        "\"OrigName\"=\"PL6-2\"\r\n"
        "  ; indented comment\r\n"
        "[hkey_local_machine\\VARN\\QV_BarcodeAPI]\r\n"
        "\"PREFIX1\" = DWORD:1A\r\n"
        "\"SNDPATH_SUCCESS\"=\"\\\\Nand\\\\QVApp\\\\QV_Barcode.wav\"\r\n"
        "\"Quote\"=\"say \\\"hi\\\" ; not a comment\"\r\n"
        "@=\"default\"\r\n"
        "\"Umlaut\"=\"Gr\xC3\xBC\xC3\x9F"
        "e \xE2\x82\xAC\"\r\n";
    const Document doc = MustParse(text);
    ASSERT_NE(doc.FindValue(u"Ident", u"OrigName"), nullptr);
    EXPECT_EQ(*doc.FindValue(u"Ident", u"OrigName"), Value::String(u"PL6-2"));
    EXPECT_EQ(*doc.FindValue(u"VARN\\QV_BarcodeAPI", u"PREFIX1"), Value::Dword(0x1A));
    EXPECT_EQ(*doc.FindValue(u"VARN\\QV_BarcodeAPI", u"SNDPATH_SUCCESS"),
              Value::String(u"\\Nand\\QVApp\\QV_Barcode.wav"));
    EXPECT_EQ(*doc.FindValue(u"VARN\\QV_BarcodeAPI", u"Quote"),
              Value::String(u"say \"hi\" ; not a comment"));
    EXPECT_EQ(*doc.FindValue(u"VARN\\QV_BarcodeAPI", u""), Value::String(u"default"));
    EXPECT_EQ(*doc.FindValue(u"VARN\\QV_BarcodeAPI", u"Umlaut"),
              Value::String(u"Gr\u00FC\u00DFe \u20AC"));
    // Unchanged, the document writes back the very bytes it was read from.
    EXPECT_EQ(doc.Serialize(), text);
}

TEST(RegFile, NamesCompareWithoutCaseAndKeepTheirSpelling) {
    Document doc = MustParse(
        "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\VARN\\QV_BarcodeAPI]\n"
        "\"PREFIX1\"=dword:00000011\n");
    EXPECT_TRUE(doc.HasKey(u"varn\\qv_barcodeapi"));
    EXPECT_TRUE(doc.HasKey(u"VARN"));  // a parent exists through its child
    EXPECT_FALSE(doc.HasKey(u"VAR"));
    EXPECT_FALSE(doc.HasKey(u"VARN\\QV_BarcodeAPI\\Sub"));
    ASSERT_NE(doc.FindValue(u"varn\\QV_BARCODEAPI", u"prefix1"), nullptr);

    EXPECT_TRUE(doc.SetValue(u"varn\\qv_barcodeapi", u"Prefix1", Value::Dword(0x22)));
    EXPECT_FALSE(doc.SetValue(u"VARN\\QV_BarcodeAPI", u"PREFIX1", Value::Dword(0x22)));
    EXPECT_TRUE(doc.SetValue(u"VARN\\qv_barcodeapi", u"Suffix1", Value::Dword(0x0A)));
    EXPECT_EQ(doc.Serialize(),
              "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\VARN\\QV_BarcodeAPI]\n"
              "\"PREFIX1\"=dword:00000022\n\"Suffix1\"=dword:0000000a\n");

    EXPECT_TRUE(NamesEqual(u"\u00C4RGER", u"\u00E4rger"));
    EXPECT_TRUE(NamesEqual(u"\u0141\u00FF", u"\u0142\u0178"));
    EXPECT_TRUE(NamesEqual(u"\u041F\u0401", u"\u043F\u0451"));
    EXPECT_TRUE(NamesEqual(u"\u03A3", u"\u03C2"));
    EXPECT_FALSE(NamesEqual(u"\u00D7", u"\u00F7"));  // signs, not letters
    EXPECT_FALSE(NamesEqual(u"abc", u"abcd"));
}

TEST(RegFile, ChangesKeepCommentsAndGoToTheirSection) {
    Document doc = MustParse(
        "Windows Registry Editor Version 5.00\r\n"
        "\r\n"
        "; options of the scanner\r\n"
        "[HKEY_LOCAL_MACHINE\\A]\r\n"
        "\"one\"=dword:00000001\r\n"
        "; end of A\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\B]\r\n"
        "\"x\"=\"y\"\r\n");
    EXPECT_TRUE(doc.SetValue(u"A", u"two", Value::String(u"a\\b\"c")));
    EXPECT_TRUE(doc.CreateKey(u"C\\D"));
    EXPECT_FALSE(doc.CreateKey(u"c\\d"));
    EXPECT_FALSE(doc.CreateKey(u"C"));  // exists as the parent of C\D
    EXPECT_TRUE(doc.SetValue(u"E", u"n", Value::Dword(0xFFFFFFFF)));
    EXPECT_EQ(doc.Serialize(),
              "Windows Registry Editor Version 5.00\r\n"
              "\r\n"
              "; options of the scanner\r\n"
              "[HKEY_LOCAL_MACHINE\\A]\r\n"
              "\"one\"=dword:00000001\r\n"
              "\"two\"=\"a\\\\b\\\"c\"\r\n"
              "; end of A\r\n"
              "\r\n"
              "[HKEY_LOCAL_MACHINE\\B]\r\n"
              "\"x\"=\"y\"\r\n"
              "\r\n"
              "[HKEY_LOCAL_MACHINE\\C\\D]\r\n"
              "\r\n"
              "[HKEY_LOCAL_MACHINE\\E]\r\n"
              "\"n\"=dword:ffffffff\r\n");
}

TEST(RegFile, TheLastDefinitionWinsAndIsTheOneChanged) {
    Document doc = MustParse(
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"v\"=dword:1\n[HKEY_LOCAL_MACHINE\\k]\n\"V\"=dword:"
        "2\n");
    EXPECT_EQ(*doc.FindValue(u"K", u"v"), Value::Dword(2));
    // Changing the type is allowed, as on the handheld.
    EXPECT_TRUE(doc.SetValue(u"K", u"v", Value::String(u"s")));
    EXPECT_EQ(*doc.FindValue(u"K", u"v"), Value::String(u"s"));
    EXPECT_EQ(doc.Serialize(),
              "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"v\"=dword:1\n[HKEY_LOCAL_MACHINE\\k]\n"
              "\"V\"=\"s\"\n");
}

TEST(RegFile, EmptyTextIsAnEmptyHive) {
    // A blank file keeps its line ends.
    for (const auto& [text, eol] : {std::pair{"", "\n"}, {"\n\n", "\n"}, {"   \r\n", "\r\n"}}) {
        const Document doc = MustParse(text);
        EXPECT_EQ(doc.Serialize(), std::string("Windows Registry Editor Version 5.00") + eol);
        EXPECT_TRUE(doc.HasKey(u""));
        EXPECT_FALSE(doc.HasKey(u"A"));
    }
    Document fresh;
    EXPECT_TRUE(fresh.SetValue(u"", u"root", Value::Dword(1)));
    EXPECT_EQ(fresh.Serialize(),
              "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE]\n"
              "\"root\"=dword:00000001\n");
}

TEST(RegFile, OnlyWhatCannotBeKeptIsRefusedAndSaysWhere) {
    const struct {
        std::string text;
        size_t line;
        std::string reason;
    } cases[] = {
        {"[HKEY_LOCAL_MACHINE\\A]\n", 1, "first line"},
        {"; comment first\nREGEDIT4\n", 1, "first line"},
        {"\n\nREGEDIT5\n", 3, "first line"},
        {std::string("\xFE\xFF\0W", 4), 1, "big-endian"},
        {"\xFF\xFEW", 1, "odd number of bytes"},
    };
    for (const auto& c : cases) {
        ParseError error;
        EXPECT_FALSE(Document::Parse(c.text, &error).has_value()) << c.text;
        EXPECT_EQ(error.line, c.line) << c.text;
        EXPECT_NE(error.reason.find(c.reason), std::string::npos) << c.text << ": " << error.reason;
    }
}

// Lines the format does not read are kept as they stand, belong to no key
// of ours or hide what they redefine, and a value set next to them reads
// back.
TEST(RegFile, LinesItDoesNotReadAreKeptAndNeverTakenForOurs) {
    const struct {
        std::string body;  // after "REGEDIT4\n"
        std::u16string key;
        std::optional<Value> v;  // the value "v" of `key` as read
    } cases[] = {
        {"\"v\"=dword:1\n[HKEY_LOCAL_MACHINE\\A]\n", u"A", std::nullopt},
        {"[HKEY_LOCAL_MACHINE\\A\n\"v\"=dword:1\n", u"A", std::nullopt},
        {"[HKEY_CURRENT_USER\\A]\n\"v\"=dword:1\n", u"A", std::nullopt},
        {"[HKEY_LOCAL_MACHINE\\A\\\\B]\n\"v\"=dword:1\n", u"A", std::nullopt},
        {"[HKEY_LOCAL_MACHINE\\A]\n[-HKEY_LOCAL_MACHINE\\A]\n\"v\"=dword:1\n", u"A", std::nullopt},
        {"[HKEY_LOCAL_MACHINE\\A]\n\"v\"=dword:1\n\"v\"=-\n", u"A", std::nullopt},
        {"[HKEY_LOCAL_MACHINE\\A]\n\"v\"=dword:1\n\"v\"=hex(4):02,00,00,00\n", u"A", std::nullopt},
        {"[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"C:\\Nand\"\n", u"A", std::nullopt},
        {"[HKEY_LOCAL_MACHINE\\A]\n\"v\"=dword:123456789\n", u"A", std::nullopt},
        {"[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"a\" junk\nv=1\n\"open\n", u"A", std::nullopt},
        {"[HKEY_LOCAL_MACHINE\\A]\n\"b\"=hex:01,\\\n  \"v\"=dword:5\n", u"A", std::nullopt},
        {"[HKEY_LOCAL_MACHINE\\A]\n\"v\"=dword:5\n\"b\"=hex:01,\\", u"A", Value::Dword(5)},
        {"[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex:01\n\"v\"=\"x\"\n", u"A", Value::String(u"x")},
    };
    for (const auto& c : cases) {
        const std::string text = "REGEDIT4\n" + c.body;
        Document doc = MustParse(text);
        EXPECT_EQ(doc.Serialize(), text);
        const Value* v = doc.FindValue(c.key, u"v");
        EXPECT_EQ(v != nullptr ? std::optional<Value>(*v) : std::nullopt, c.v) << c.body;

        doc.SetValue(c.key, u"v", Value::Dword(7));
        doc.SetValue(c.key, u"w", Value::String(u"new"));
        const std::string written = doc.Serialize();
        const Document again = MustParse(written);
        EXPECT_EQ(*again.FindValue(c.key, u"v"), Value::Dword(7)) << written;
        EXPECT_EQ(*again.FindValue(c.key, u"w"), Value::String(u"new")) << written;
    }
}

TEST(RegFile, Utf16FileKeepsItsLineEndsAndBrokenUnits) {
    // CRLF and LF mixed, a lone surrogate in a comment, no line end at the end.
    const std::u16string text =
        u"Windows Registry Editor Version 5.00\r\n; \xD800\n"
        u"[HKEY_LOCAL_MACHINE\\A]\r\n\"v\"=dword:1";
    std::string bytes = "\xFF\xFE";
    for (const char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    Document doc = MustParse(bytes);
    EXPECT_EQ(doc.FileEncoding(), Document::Encoding::Utf16Le);
    EXPECT_EQ(doc.Serialize(), bytes);
    EXPECT_EQ(*doc.FindValue(u"A", u"v"), Value::Dword(1));
    doc.SetValue(u"A", u"w", Value::Dword(2));
    const std::string added = std::string("\r\0\n\0", 4);
    std::string expected = bytes + added;
    for (const char c : std::string("\"w\"=dword:00000002")) {
        expected += c;
        expected += '\0';
    }
    EXPECT_EQ(doc.Serialize(), expected + added);
}

// A file cut after the CR of its last CRLF (a tool killed in mid-write)
// reads its last line whole, and what is added behind it keeps it so.
TEST(RegFile, AFileCutAfterItsLastCrReadsAndGrowsAsIfWhole) {
    const std::u16string text =
        u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n"
        u"\"v\"=dword:00000005\r";
    const std::u16string added = u"\n\"w\"=dword:00000002\r\n";
    for (const bool utf16 : {false, true}) {
        SCOPED_TRACE(utf16 ? "UTF-16" : "UTF-8");
        auto bytes = [utf16](std::u16string_view units) {
            std::string out = utf16 ? "\xFF\xFE" : "";
            for (const char16_t unit : units) {
                out += static_cast<char>(unit & 0xFF);
                if (utf16) out += static_cast<char>(unit >> 8);
            }
            return out;
        };
        Document doc = MustParse(bytes(text));
        const Value* v = doc.FindValue(u"A", u"v");
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(*v, Value::Dword(5));
        doc.SetValue(u"A", u"w", Value::Dword(2));
        EXPECT_EQ(doc.Serialize(), bytes(text + added));
        Document again = MustParse(doc.Serialize());
        ASSERT_NE(again.FindValue(u"A", u"v"), nullptr);
        EXPECT_EQ(*again.FindValue(u"A", u"v"), Value::Dword(5));
        EXPECT_EQ(*again.FindValue(u"A", u"w"), Value::Dword(2));
    }
}

TEST(RegFile, StorableTextsAndKeyPaths) {
    EXPECT_TRUE(IsStorable(u"plain \\ \"quoted\" \t tab \U0001F600"));
    EXPECT_FALSE(IsStorable(u"two\nlines"));
    EXPECT_FALSE(IsStorable(u"cr\r"));
    EXPECT_FALSE(IsStorable(std::u16string_view(u"a\0b", 3)));
    EXPECT_FALSE(IsStorable(u"\xD800x"));
    EXPECT_FALSE(IsStorable(u"x\xDC00"));
    EXPECT_TRUE(IsValidKeyPath(u""));
    EXPECT_TRUE(IsValidKeyPath(u"VARN\\QV_BarcodeAPI"));
    EXPECT_FALSE(IsValidKeyPath(u"\\VARN"));
    EXPECT_FALSE(IsValidKeyPath(u"VARN\\"));
    EXPECT_FALSE(IsValidKeyPath(u"VARN\\\\X"));
}

// Whatever a sequence of changes writes reads back as the same values.
TEST(RegFile, RandomChangesReadBackTheSame) {
    std::mt19937 random(1234);
    const std::u16string keys[] = {u"A", u"a\\B", u"A\\b", u"VARN\\QV_BarcodeAPI", u"\u00C4"};
    const std::u16string names[] = {u"", u"v", u"V", u"q\"uote", u"back\\slash", u"\u00E4"};
    const std::u16string texts[] = {u"", u"\\", u"\"", u"\\\\\"\"", u"x;y", u"[z]", u"\u20AC"};
    for (int round = 0; round < 20; ++round) {
        Document doc;
        for (int step = 0; step < 30; ++step) {
            const auto& key = keys[random() % std::size(keys)];
            const auto& name = names[random() % std::size(names)];
            const Value value = random() % 2 ? Value::Dword(static_cast<uint32_t>(random()))
                                             : Value::String(texts[random() % std::size(texts)]);
            doc.SetValue(key, name, value);
            ASSERT_EQ(*doc.FindValue(key, name), value);
            const std::string text = doc.Serialize();
            const Document again = MustParse(text);
            ASSERT_EQ(again.Serialize(), text);
            for (const auto& k : keys) {
                for (const auto& n : names) {
                    const Value* a = doc.FindValue(k, n);
                    const Value* b = again.FindValue(k, n);
                    ASSERT_EQ(a == nullptr, b == nullptr);
                    if (a != nullptr) {
                        ASSERT_EQ(*a, *b);
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace qv::platform::regfile
