#include "platform/storage/registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/child_process.h"
#include "test_support/temp_dir.h"

namespace qv::platform {
namespace {

namespace fs = std::filesystem;
using platform_test::RunInChild;

using test_support::ReadFile;

void WriteAll(const std::string& path, std::string_view text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// A hive file and a debug output of their own, both reachable by an
// unprivileged child process.
class RegistryTest : public ::testing::Test {
  protected:
    RegistryTest()
        : m_hiveDir(m_dir.Path() + "/state/qvimager"),
          m_file(m_hiveDir + "/registry.reg"),
          m_debug(m_dir.Path() + "/debug.txt"),
          m_registryEnv("QV_REGISTRY", m_file),
          m_debugEnv("QV_DEBUG_OUTPUT", m_debug) {
        ::chmod(m_dir.Path().c_str(), 0755);
        WriteAll(m_debug, "");
        ::chmod(m_debug.c_str(), 0666);
    }

    std::unique_ptr<RegistryKey> CreateKey(std::u16string_view path) {
        std::unique_ptr<RegistryKey> key;
        EXPECT_EQ(RegistryKey::Create(path, key), RegStatus::Ok);
        return key;
    }

    std::string Debug() const { return ReadFile(m_debug); }

    test_support::TempDir m_dir;
    const std::string m_hiveDir;
    const std::string m_file;
    const std::string m_debug;
    test_support::ScopedEnv m_registryEnv;
    test_support::ScopedEnv m_debugEnv;
};

TEST_F(RegistryTest, MissingKeyDiffersFromMissingValue) {
    std::unique_ptr<RegistryKey> key;
    EXPECT_EQ(RegistryKey::Open(u"VARN\\QV_BarcodeAPI", key), RegStatus::NotFound);
    EXPECT_EQ(key, nullptr);
    EXPECT_FALSE(fs::exists(m_file));

    // Creating writes the file, making its directories.
    key = CreateKey(u"VARN\\QV_BarcodeAPI");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(
        ReadFile(m_file),
        "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\VARN\\QV_BarcodeAPI]\n");
    EXPECT_EQ(RegistryKey::Open(u"VARN\\QV_BarcodeAPI", key), RegStatus::Ok);
    uint32_t value = 7;
    EXPECT_EQ(key->QueryDword(u"PREFIX1", &value), RegStatus::NotFound);
    EXPECT_EQ(value, 7u);
    uint32_t size = 4;
    EXPECT_EQ(key->QueryValue(u"PREFIX1", nullptr, &value, &size), RegStatus::NotFound);
    EXPECT_EQ(RegistryKey::Open(u"VARN\\Other", key), RegStatus::NotFound);
    EXPECT_EQ(RegistryKey::Open(u"VARN\\", key), RegStatus::Failed);
    // Only the invalid path is worth a line on the debug output.
    EXPECT_EQ(Debug(), "registry: invalid key path \"VARN\\\"\n");
}

TEST_F(RegistryTest, ValuesRoundTripWithTypeAndTerminator) {
    auto key = CreateKey(u"VARN\\QV_BarcodeAPI");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->SetDword(u"PREFIX1", 0x11), RegStatus::Ok);
    EXPECT_EQ(key->SetString(u"SNDPATH_SUCCESS", u"\\Nand\\QVApp\\QV_Barcode.wav"), RegStatus::Ok);
    EXPECT_EQ(ReadFile(m_file),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_LOCAL_MACHINE\\VARN\\QV_BarcodeAPI]\n"
              "\"PREFIX1\"=dword:00000011\n"
              "\"SNDPATH_SUCCESS\"=\"\\\\Nand\\\\QVApp\\\\QV_Barcode.wav\"\n");

    RegType type{};
    uint8_t dword[4] = {};
    uint32_t size = sizeof dword;
    EXPECT_EQ(key->QueryValue(u"PREFIX1", &type, dword, &size), RegStatus::Ok);
    EXPECT_EQ(type, RegType::Dword);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(dword[0], 0x11);

    char16_t text[64];
    size = sizeof text;
    EXPECT_EQ(key->QueryValue(u"SNDPATH_SUCCESS", &type, text, &size), RegStatus::Ok);
    EXPECT_EQ(type, RegType::String);
    EXPECT_EQ(size, 2u * (26 + 1));
    EXPECT_EQ(std::u16string(text), u"\\Nand\\QVApp\\QV_Barcode.wav");

    // A path of 255 characters fills a 512-byte buffer exactly.
    const std::u16string longPath(255, u'p');
    EXPECT_EQ(key->SetString(u"SNDPATH_FAIL", longPath), RegStatus::Ok);
    char16_t path[256];
    size = sizeof path;
    EXPECT_EQ(key->QueryValue(u"SNDPATH_FAIL", nullptr, path, &size), RegStatus::Ok);
    EXPECT_EQ(size, 512u);
    EXPECT_EQ(std::u16string(path), longPath);

    // Zero filler after the text is not stored: the value ends at its terminator.
    std::u16string filled = u"short";
    filled.resize(256, u'\0');
    EXPECT_EQ(key->SetString(u"SNDPATH_FAIL", filled), RegStatus::Ok);
    std::u16string back;
    EXPECT_EQ(key->QueryString(u"SNDPATH_FAIL", &back), RegStatus::Ok);
    EXPECT_EQ(back, u"short");
}

// What was read is kept only while the file stays the same: a change by
// another program, even one of the same size in place, is read again.
TEST_F(RegistryTest, ChangedFileIsReadAgain) {
    fs::create_directories(m_hiveDir);
    const std::string head = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=dword:";
    std::unique_ptr<RegistryKey> key;
    for (const char* value : {"00000001", "00000002", "00000003"}) {
        // In place (same inode, same size), as an editor might save.
        std::fstream(m_file, std::ios::in | std::ios::out | std::ios::trunc)
            << head << value << "\n";
        if (key == nullptr) {
            ASSERT_EQ(RegistryKey::Open(u"A", key), RegStatus::Ok);
        }
        uint32_t read = 0;
        EXPECT_EQ(key->QueryDword(u"v", &read), RegStatus::Ok);
        EXPECT_EQ(read, static_cast<uint32_t>(std::stoul(value, nullptr, 16)));
    }
}

TEST_F(RegistryTest, SmallBufferGetsMoreDataAndIsNotTouched) {
    auto key = CreateKey(u"Ident");
    ASSERT_NE(key, nullptr);
    ASSERT_EQ(key->SetString(u"OrigName", u"0123456789"), RegStatus::Ok);

    uint32_t size = 0;
    RegType type{};
    EXPECT_EQ(key->QueryValue(u"OrigName", &type, nullptr, &size), RegStatus::Ok);
    EXPECT_EQ(size, 22u);
    EXPECT_EQ(type, RegType::String);

    uint8_t buffer[24];
    std::memset(buffer, 0xAA, sizeof buffer);
    size = 20;  // room for the text but not its terminator
    EXPECT_EQ(key->QueryValue(u"OrigName", &type, buffer, &size), RegStatus::MoreData);
    EXPECT_EQ(size, 22u);
    for (const uint8_t b : buffer)
        ASSERT_EQ(b, 0xAA);

    size = 22;
    EXPECT_EQ(key->QueryValue(u"OrigName", &type, buffer, &size), RegStatus::Ok);
    EXPECT_EQ(buffer[20], 0);
    EXPECT_EQ(buffer[21], 0);
    EXPECT_EQ(buffer[22], 0xAA);
}

TEST_F(RegistryTest, WrongTypeIsReportedByTheTypedReads) {
    auto key = CreateKey(u"K");
    ASSERT_NE(key, nullptr);
    ASSERT_EQ(key->SetString(u"s", u"1"), RegStatus::Ok);
    ASSERT_EQ(key->SetString(u"long", u"a longer text"), RegStatus::Ok);
    ASSERT_EQ(key->SetDword(u"d", 5), RegStatus::Ok);

    uint32_t number = 99;
    EXPECT_EQ(key->QueryDword(u"s", &number), RegStatus::WrongType);
    EXPECT_EQ(key->QueryDword(u"long", &number), RegStatus::WrongType);
    EXPECT_EQ(number, 99u);
    std::u16string text = u"kept";
    EXPECT_EQ(key->QueryString(u"d", &text), RegStatus::WrongType);
    EXPECT_EQ(text, u"kept");
    EXPECT_EQ(key->QueryDword(u"d", &number), RegStatus::Ok);
    EXPECT_EQ(number, 5u);

    // The raw read, as on the handheld, copies what fits and names the type.
    RegType type{};
    uint8_t raw[4] = {};
    uint32_t size = sizeof raw;
    EXPECT_EQ(key->QueryValue(u"s", &type, raw, &size), RegStatus::Ok);
    EXPECT_EQ(type, RegType::String);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(raw[0], '1');
}

TEST_F(RegistryTest, NamesAreCaseInsensitiveAndKeepTheirSpelling) {
    auto key = CreateKey(u"VARN\\QV_BarcodeAPI");
    ASSERT_EQ(key->SetDword(u"PasteClipboard", 1), RegStatus::Ok);
    std::unique_ptr<RegistryKey> other;
    ASSERT_EQ(RegistryKey::Open(u"varn\\qv_barcodeapi", other), RegStatus::Ok);
    uint32_t value = 0;
    EXPECT_EQ(other->QueryDword(u"PASTECLIPBOARD", &value), RegStatus::Ok);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(other->SetDword(u"pasteclipboard", 0), RegStatus::Ok);
    EXPECT_EQ(ReadFile(m_file),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_LOCAL_MACHINE\\VARN\\QV_BarcodeAPI]\n"
              "\"PasteClipboard\"=dword:00000000\n");
}

TEST_F(RegistryTest, HandWrittenFileIsReadAndItsCommentsSurviveAWrite) {
    fs::create_directories(m_hiveDir);
    WriteAll(m_file,
             "REGEDIT4\r\n"
             "; the device's identity\r\n"
             "[HKEY_LOCAL_MACHINE\\Ident]\r\n"
             "\"OrigName\"=\"PL6-2\"\r\n"
             "\r\n"
             "[HKEY_LOCAL_MACHINE\\VARN\\QV_BarcodeAPI]\r\n"
             "\"SNDPATH_SUCCESS\"=\"\\\\Nand\\\\say \\\"ok\\\".wav\"\r\n");
    std::unique_ptr<RegistryKey> key;
    ASSERT_EQ(RegistryKey::Open(u"Ident", key), RegStatus::Ok);
    char16_t name[30];
    uint32_t size = 60;
    EXPECT_EQ(key->QueryValue(u"OrigName", nullptr, name, &size), RegStatus::Ok);
    EXPECT_EQ(std::u16string(name), u"PL6-2");
    ASSERT_EQ(RegistryKey::Open(u"VARN\\QV_BarcodeAPI", key), RegStatus::Ok);
    std::u16string path;
    EXPECT_EQ(key->QueryString(u"SNDPATH_SUCCESS", &path), RegStatus::Ok);
    EXPECT_EQ(path, u"\\Nand\\say \"ok\".wav");

    EXPECT_EQ(key->SetDword(u"PREFIX1", 2), RegStatus::Ok);
    EXPECT_EQ(ReadFile(m_file),
              "REGEDIT4\r\n"
              "; the device's identity\r\n"
              "[HKEY_LOCAL_MACHINE\\Ident]\r\n"
              "\"OrigName\"=\"PL6-2\"\r\n"
              "\r\n"
              "[HKEY_LOCAL_MACHINE\\VARN\\QV_BarcodeAPI]\r\n"
              "\"SNDPATH_SUCCESS\"=\"\\\\Nand\\\\say \\\"ok\\\".wav\"\r\n"
              "\"PREFIX1\"=dword:00000002\r\n");
}

// UTF-16LE text with a byte-order mark, as regedit exports.
std::string Utf16File(std::u16string_view text) {
    std::string bytes = "\xFF\xFE";
    for (const char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

// A regedit 5.00 export: every line that is not one of ours (other value
// types, a continuation, deletions, another root) stays byte for byte.
TEST_F(RegistryTest, RegeditExportInUtf16IsReadAndWrittenBackInItsOwnForm) {
    fs::create_directories(m_hiveDir);
    const std::u16string head =
        u"Windows Registry Editor Version 5.00\r\n"
        u"\r\n"
        u"[HKEY_LOCAL_MACHINE\\VARN\\QV_BarcodeAPI]\r\n";
    const std::u16string prefix = u"\"PREFIX1\"=dword:00000011\r\n";
    const std::u16string middle =
        u"\"Blob\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
        u"  16,17,18\r\n"
        u"\"Expand\"=hex(2):25,00,54,00,00,00\r\n"
        u"\"Multi\"=hex(7):61,00,00,00,00,00\r\n"
        u"\"Wide\"=hex(b):01,00,00,00,00,00,00,00\r\n"
        u"\"Gone\"=-\r\n"
        u"\"SNDPATH_SUCCESS\"=\"\\\\Nand\\\\Gr\u00FC\u00DFe \U0001F600.wav\"\r\n";
    const std::u16string tail =
        u"\r\n"
        u"[-HKEY_LOCAL_MACHINE\\VARN\\Old]\r\n"
        u"\r\n"
        u"[HKEY_CURRENT_USER\\Software\\QV]\r\n"
        u"\"PREFIX1\"=dword:00000099\r\n"
        u"\r\n";
    WriteAll(m_file, Utf16File(head + prefix + middle + tail));

    std::unique_ptr<RegistryKey> key;
    ASSERT_EQ(RegistryKey::Open(u"VARN\\QV_BarcodeAPI", key), RegStatus::Ok);
    uint32_t value = 0;
    EXPECT_EQ(key->QueryDword(u"PREFIX1", &value), RegStatus::Ok);
    EXPECT_EQ(value, 0x11u);  // not the other root's
    std::u16string path;
    EXPECT_EQ(key->QueryString(u"SNDPATH_SUCCESS", &path), RegStatus::Ok);
    EXPECT_EQ(path, u"\\Nand\\Gr\u00FC\u00DFe \U0001F600.wav");
    EXPECT_EQ(key->QueryDword(u"Gone", &value), RegStatus::NotFound);
    EXPECT_EQ(key->QueryDword(u"Wide", &value), RegStatus::NotFound);
    EXPECT_EQ(RegistryKey::Open(u"Software\\QV", key), RegStatus::NotFound);

    ASSERT_EQ(RegistryKey::Open(u"VARN\\QV_BarcodeAPI", key), RegStatus::Ok);
    const RegWrite group[] = {RegWrite::Dword(u"PREFIX1", 0x22), RegWrite::Dword(u"SUFFIX1", 0x0D)};
    ASSERT_EQ(key->SetValues(group), RegStatus::Ok);
    EXPECT_EQ(ReadFile(m_file), Utf16File(head + u"\"PREFIX1\"=dword:00000022\r\n" + middle +
                                          u"\"SUFFIX1\"=dword:0000000d\r\n" + tail));
    EXPECT_EQ(Debug(), "");
}

// REGEDIT4 files are written by regedit in the ANSI code page.
TEST_F(RegistryTest, Regedit4FileInTheAnsiCodePageKeepsItsBytes) {
    test_support::ScopedEnv codePage("QV_ANSI_CODEPAGE", "CP1252");
    fs::create_directories(m_hiveDir);
    const std::string head =
        "REGEDIT4\r\n"
        "\r\n"
        "; Ger\xE4t\r\n"
        "[HKEY_LOCAL_MACHINE\\Ident]\r\n"
        "\"OrigName\"=\"PL6-2 \xE9\"\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\VARN\\QV_BarcodeAPI]\r\n"
        "\"Blob\"=hex:01,\\\r\n"
        "  02\r\n";
    const std::string tail = "[HKEY_LOCAL_MACHINE\\Other]\r\n";
    WriteAll(m_file, head + "\"SNDPATH_FAIL\"=\"C:\\\\Gr\xFC\xDF\"\r\n" + tail);

    std::unique_ptr<RegistryKey> key;
    ASSERT_EQ(RegistryKey::Open(u"Ident", key), RegStatus::Ok);
    std::u16string text;
    EXPECT_EQ(key->QueryString(u"OrigName", &text), RegStatus::Ok);
    EXPECT_EQ(text, u"PL6-2 \u00E9");
    ASSERT_EQ(RegistryKey::Open(u"VARN\\QV_BarcodeAPI", key), RegStatus::Ok);
    EXPECT_EQ(key->QueryString(u"SNDPATH_FAIL", &text), RegStatus::Ok);
    EXPECT_EQ(text, u"C:\\Gr\u00FC\u00DF");

    ASSERT_EQ(key->SetString(u"SNDPATH_FAIL", u"D:\\\u20AC"), RegStatus::Ok);
    const std::string written = head + "\"SNDPATH_FAIL\"=\"D:\\\\\x80\"\r\n" + tail;
    EXPECT_EQ(ReadFile(m_file), written);

    // A character the code page lacks cannot be kept: refused, and said so.
    EXPECT_EQ(key->SetString(u"SNDPATH_FAIL", u"\u03A9"), RegStatus::Failed);
    EXPECT_EQ(ReadFile(m_file), written);
    EXPECT_NE(Debug().find("code page CP1252 has no form"), std::string::npos) << Debug();
}

// Bytes of the code page that happen to form UTF-8 (\xC9\x99 is "É™" in
// CP1252 and one letter in UTF-8) are still read in the code page.
TEST_F(RegistryTest, Regedit4FileIsReadInTheCodePageEvenWhenItLooksLikeUtf8) {
    test_support::ScopedEnv codePage("QV_ANSI_CODEPAGE", "CP1252");
    fs::create_directories(m_hiveDir);
    WriteAll(
        m_file,
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"v\"=\"\\\\Nand\\\\CAF\xC9\x99.wav\"\r\n");
    std::unique_ptr<RegistryKey> key;
    ASSERT_EQ(RegistryKey::Open(u"A", key), RegStatus::Ok);
    std::u16string text;
    EXPECT_EQ(key->QueryString(u"v", &text), RegStatus::Ok);
    EXPECT_EQ(text, u"\\Nand\\CAF\u00C9\u2122.wav");
}

TEST_F(RegistryTest, UnparseableFileIsNeverOverwritten) {
    fs::create_directories(m_hiveDir);
    // Not a registry file: no header line (a UTF-16 big-endian file would do
    // the same).
    const std::string bad = "\n[HKEY_LOCAL_MACHINE\\Ident]\n\"OrigName\"=\"PL6-2\"\n";
    WriteAll(m_file, bad);

    std::unique_ptr<RegistryKey> key;
    EXPECT_EQ(RegistryKey::Open(u"Ident", key), RegStatus::Failed);
    EXPECT_EQ(RegistryKey::Create(u"VARN\\QV_BarcodeAPI", key), RegStatus::Failed);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(ReadFile(m_file), bad);
    const std::string debug = Debug();
    EXPECT_NE(debug.find("registry: cannot parse " + m_file + ", line 2: the first line must be"),
              std::string::npos)
        << debug;
    EXPECT_NE(debug.find("nothing written, the file is left as it is"), std::string::npos);

    // A key opened before the file went bad fails its writes the same way.
    WriteAll(m_file, "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Ident]\n");
    ASSERT_EQ(RegistryKey::Open(u"Ident", key), RegStatus::Ok);
    WriteAll(m_file, bad);
    EXPECT_EQ(key->SetDword(u"x", 1), RegStatus::Failed);
    uint32_t value = 0;
    EXPECT_EQ(key->QueryDword(u"OrigName", &value), RegStatus::Failed);
    EXPECT_EQ(ReadFile(m_file), bad);
}

TEST_F(RegistryTest, TextThatTheFileCannotHoldIsRefused) {
    auto key = CreateKey(u"K");
    ASSERT_EQ(key->SetString(u"v", u"one"), RegStatus::Ok);
    const std::string before = ReadFile(m_file);
    EXPECT_EQ(key->SetString(u"v", u"two\r\nlines"), RegStatus::Failed);
    EXPECT_EQ(key->SetDword(u"line\nbreak", 1), RegStatus::Failed);
    EXPECT_EQ(ReadFile(m_file), before);
    EXPECT_NE(Debug().find("line breaks"), std::string::npos);
}

// A group is all or nothing: the key comes with its values in one rewrite,
// and a value the file cannot hold keeps the whole group (and the key) out.
TEST_F(RegistryTest, GroupOfValuesIsWrittenWholeOrNotAtAll) {
    const RegWrite bad[] = {RegWrite::Dword(u"SNDMANUAL", 2),
                            RegWrite::String(u"SNDPATH_FAIL", u"two\nlines")};
    EXPECT_EQ(RegistryKey::CreateAndSetValues(u"VARN\\QV_BarcodeAPI", bad), RegStatus::Failed);
    EXPECT_FALSE(fs::exists(m_file));

    const RegWrite good[] = {RegWrite::Dword(u"SNDMANUAL", 2),
                             RegWrite::String(u"SNDPATH_FAIL", u"\\x.wav")};
    ASSERT_EQ(RegistryKey::CreateAndSetValues(u"VARN\\QV_BarcodeAPI", good), RegStatus::Ok);
    EXPECT_EQ(ReadFile(m_file),
              "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\VARN\\QV_BarcodeAPI]\n"
              "\"SNDMANUAL\"=dword:00000002\n\"SNDPATH_FAIL\"=\"\\\\x.wav\"\n");
}

TEST_F(RegistryTest, UnwritableDirectoryLeavesTheOldFileIntact) {
    // The child must be a user who may write neither the directory nor the
    // file: as anyone but root it would be the file's owner.
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to write as another user";
    auto key = CreateKey(u"VARN\\QV_BarcodeAPI");
    ASSERT_EQ(key->SetDword(u"SUFFIX1", 0x0A), RegStatus::Ok);
    const std::string before = ReadFile(m_file);
    // Readable by the child, whatever the umask made of them.
    ::chmod((m_dir.Path() + "/state").c_str(), 0755);
    ::chmod(m_file.c_str(), 0644);
    ::chmod((m_file + ".lock").c_str(), 0644);
    ASSERT_EQ(::chmod(m_hiveDir.c_str(), 0555), 0);

    const int rc = RunInChild(
        [] {
            std::unique_ptr<RegistryKey> k;
            if (RegistryKey::Open(u"VARN\\QV_BarcodeAPI", k) != RegStatus::Ok) return 1;
            if (k->SetDword(u"SUFFIX1", 0x0D) != RegStatus::Failed) return 2;
            uint32_t v = 0;
            if (k->QueryDword(u"SUFFIX1", &v) != RegStatus::Ok || v != 0x0A) return 3;
            return 0;
        },
        /*unprivileged=*/true);
    ::chmod(m_hiveDir.c_str(), 0755);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(ReadFile(m_file), before);
    EXPECT_NE(Debug().find("registry: cannot write " + m_file), std::string::npos) << Debug();
    EXPECT_NE(Debug().find("the file is left as it is"), std::string::npos);
    for (const auto& entry : fs::directory_iterator(m_hiveDir)) {
        EXPECT_TRUE(entry.path().filename() == "registry.reg" ||
                    entry.path().filename() == "registry.reg.lock")
            << entry.path();
    }
}

TEST_F(RegistryTest, UnreadableFileFailsClearly) {
    auto key = CreateKey(u"K");
    ASSERT_EQ(key->SetDword(u"v", 1), RegStatus::Ok);
    const std::string before = ReadFile(m_file);
    ::chmod((m_dir.Path() + "/state").c_str(), 0755);
    ::chmod(m_hiveDir.c_str(), 0755);
    ASSERT_EQ(::chmod(m_file.c_str(), 0), 0);
    const int rc = RunInChild(
        [] {
            std::unique_ptr<RegistryKey> k;
            if (RegistryKey::Open(u"K", k) != RegStatus::Failed) return 1;
            if (RegistryKey::Create(u"K", k) != RegStatus::Failed) return 2;
            return 0;
        },
        /*unprivileged=*/true);
    ::chmod(m_file.c_str(), 0644);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(ReadFile(m_file), before);
    EXPECT_NE(Debug().find("registry: cannot read " + m_file + ": Permission denied"),
              std::string::npos)
        << Debug();
}

TEST_F(RegistryTest, ValuesWrittenByOneProcessAreReadByAnother) {
    ASSERT_EQ(RunInChild([] {
                  std::unique_ptr<RegistryKey> k;
                  if (RegistryKey::Create(u"VARN\\QV_BarcodeAPI", k) != RegStatus::Ok) return 1;
                  if (k->SetDword(u"RECEIVETYPE", 2) != RegStatus::Ok) return 2;
                  return k->SetString(u"SNDPATH_FAIL", u"\\fail.wav") == RegStatus::Ok ? 0 : 3;
              }),
              0);
    std::unique_ptr<RegistryKey> key;
    ASSERT_EQ(RegistryKey::Open(u"VARN\\QV_BarcodeAPI", key), RegStatus::Ok);
    uint32_t type = 0;
    EXPECT_EQ(key->QueryDword(u"RECEIVETYPE", &type), RegStatus::Ok);
    EXPECT_EQ(type, 2u);

    // An open key sees what another process writes later.
    EXPECT_EQ(RunInChild([] {
                  std::unique_ptr<RegistryKey> k;
                  if (RegistryKey::Open(u"VARN\\QV_BarcodeAPI", k) != RegStatus::Ok) return 1;
                  std::u16string path;
                  if (k->QueryString(u"SNDPATH_FAIL", &path) != RegStatus::Ok) return 2;
                  if (path != u"\\fail.wav") return 3;
                  return k->SetDword(u"RECEIVETYPE", 1) == RegStatus::Ok ? 0 : 4;
              }),
              0);
    EXPECT_EQ(key->QueryDword(u"RECEIVETYPE", &type), RegStatus::Ok);
    EXPECT_EQ(type, 1u);
}

// Half the writers reach the file through a symbolic link (made before the
// file exists); they must still exclude the others.
TEST_F(RegistryTest, ConcurrentWritersLoseNothing) {
    constexpr int kWriters = 4;
    constexpr int kValues = 8;
    const std::string link = m_dir.Path() + "/link.reg";
    fs::create_directories(m_hiveDir);
    fs::create_symlink(m_file, link);
    std::vector<pid_t> children;
    std::fflush(nullptr);
    for (int w = 0; w < kWriters; ++w) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (w % 2 != 0) ::setenv("QV_REGISTRY", link.c_str(), 1);
            std::unique_ptr<RegistryKey> k;
            int rc = RegistryKey::Create(u"Shared", k) == RegStatus::Ok ? 0 : 1;
            for (int i = 0; i < kValues && rc == 0; ++i) {
                const std::u16string name =
                    u"w" + std::u16string(1, static_cast<char16_t>(u'0' + w)) + u"_" +
                    std::u16string(1, static_cast<char16_t>(u'0' + i));
                if (k->SetDword(name, static_cast<uint32_t>(w * 100 + i)) != RegStatus::Ok) rc = 2;
            }
            ::_exit(rc);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::unique_ptr<RegistryKey> key;
    ASSERT_EQ(RegistryKey::Open(u"Shared", key), RegStatus::Ok);
    for (int w = 0; w < kWriters; ++w) {
        for (int i = 0; i < kValues; ++i) {
            const std::u16string name = u"W" + std::u16string(1, static_cast<char16_t>(u'0' + w)) +
                                        u"_" + std::u16string(1, static_cast<char16_t>(u'0' + i));
            uint32_t value = 0;
            EXPECT_EQ(key->QueryDword(name, &value), RegStatus::Ok);
            EXPECT_EQ(value, static_cast<uint32_t>(w * 100 + i));
        }
    }
    EXPECT_TRUE(fs::is_symlink(link));
}

// Something other than a file where the lock file goes (a FIFO would block
// every writer's open) is refused at once.
TEST_F(RegistryTest, LockFileThatIsNoFileIsRefused) {
    fs::create_directories(m_hiveDir);
    ASSERT_EQ(::mkfifo((m_file + ".lock").c_str(), 0644), 0);
    std::unique_ptr<RegistryKey> key;
    EXPECT_EQ(RegistryKey::Create(u"VARN", key), RegStatus::Failed);
    EXPECT_FALSE(fs::exists(m_file));
    EXPECT_NE(Debug().find("registry.reg.lock is not a regular file"), std::string::npos)
        << Debug();
}

TEST(RegistryPath, FollowsTheEnvironmentAtEachCall) {
    test_support::ScopedEnv state("XDG_STATE_HOME", "/state");
    test_support::ScopedEnv home("HOME", "/home/user");
    {
        test_support::ScopedEnv file("QV_REGISTRY", "/etc/hive.reg");
        EXPECT_EQ(RegistryFilePath(), "/etc/hive.reg");
    }
    {
        test_support::ScopedEnv file("QV_REGISTRY", "");
        EXPECT_EQ(RegistryFilePath(), "/state/qvimager/registry.reg");
        test_support::ScopedEnv relative("XDG_STATE_HOME", "relative/dir");
        EXPECT_EQ(RegistryFilePath(), "/home/user/.local/state/qvimager/registry.reg");
        ::unsetenv("XDG_STATE_HOME");
        EXPECT_EQ(RegistryFilePath(), "/home/user/.local/state/qvimager/registry.reg");
    }
}

}  // namespace
}  // namespace qv::platform
