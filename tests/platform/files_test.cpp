#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/child_process.h"
#include "platform/utf.h"
#include "test_support/temp_dir.h"

namespace qv::platform {
namespace {

namespace fs = std::filesystem;
using platform_test::RunInChild;

using test_support::ReadFile;

std::span<const uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

class FilesTest : public ::testing::Test {
  protected:
    std::string PathOf(const char* name) const { return m_dir.Path() + "/" + name; }
    test_support::TempDir m_dir;
};

TEST_F(FilesTest, WriteThenReadBackWithUtf16Paths) {
    const std::u16string path = Utf8ToUtf16(PathOf("BarcodeRO25Enable.dat"));
    {
        File out = File::CreateForWriting(path, FileShare::None);
        ASSERT_TRUE(out.IsOpen()) << out.Error();
        EXPECT_TRUE(out.Write("0123456789", 10));
        EXPECT_TRUE(out.Close());
        EXPECT_FALSE(out.IsOpen());
    }
    File in = File::OpenForReading(path, FileShare::None);
    ASSERT_TRUE(in.IsOpen());
    char buffer[16] = {};
    EXPECT_EQ(in.Read(buffer, 4), 4);
    EXPECT_EQ(in.Read(buffer + 4, sizeof buffer - 4), 6);  // short only at the end
    EXPECT_EQ(std::string(buffer), "0123456789");
    EXPECT_EQ(in.Read(buffer, 4), 0);
    in.Close();

    // Creating again truncates.
    File again = File::CreateForWriting(path, FileShare::None);
    ASSERT_TRUE(again.IsOpen());
    EXPECT_TRUE(again.Write("ab", 2));
    again.Close();
    EXPECT_EQ(ReadFile(PathOf("BarcodeRO25Enable.dat")), "ab");
}

TEST_F(FilesTest, OpenFailuresAreClearAndCreateNothing) {
    File missing = File::OpenForReadingUtf8(PathOf("missing"), FileShare::Read);
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_EQ(missing.Error(), ENOENT);
    EXPECT_FALSE(fs::exists(PathOf("missing")));
    EXPECT_EQ(FileErrorText(ENOENT), u"No such file or directory");

    EXPECT_EQ(File::OpenForReadingUtf8(m_dir.Path(), FileShare::Read).Error(), EISDIR);
    EXPECT_EQ(File::CreateForWritingUtf8(PathOf("no/such/dir"), FileShare::None).Error(), ENOENT);
    EXPECT_EQ(File::OpenForReadingUtf8("", FileShare::Read).Error(), ENOENT);

    // A FIFO with no writer would block an open or a read forever; it fails instead.
    ASSERT_EQ(::mkfifo(PathOf("fifo").c_str(), 0600), 0);
    EXPECT_EQ(File::OpenForReadingUtf8(PathOf("fifo"), FileShare::Read).Error(), EINVAL);

    File closed;
    char byte;
    EXPECT_EQ(closed.Read(&byte, 1), -1);
    EXPECT_EQ(closed.Error(), EBADF);
    EXPECT_FALSE(closed.Write(&byte, 1));
}

TEST_F(FilesTest, NoSharingKeepsEveryOtherOpenerOut) {
    const std::string path = PathOf("BarcodeRO25Detail.dat");
    File holder = File::CreateForWritingUtf8(path, FileShare::None);
    ASSERT_TRUE(holder.IsOpen());
    ASSERT_TRUE(holder.Write("kept", 4));

    EXPECT_EQ(File::OpenForReadingUtf8(path, FileShare::None).Error(), EWOULDBLOCK);
    EXPECT_EQ(File::OpenForReadingUtf8(path, FileShare::Read).Error(), EWOULDBLOCK);
    // A refused writer must not have cut the file.
    EXPECT_EQ(File::CreateForWritingUtf8(path, FileShare::None).Error(), EWOULDBLOCK);
    EXPECT_EQ(ReadFile(path), "kept");
    EXPECT_EQ(ReplaceFileContentsUtf8(path, Bytes("new")), EWOULDBLOCK);
    EXPECT_EQ(ReadFile(path), "kept");
    EXPECT_EQ(RunInChild([&] {
                  return File::OpenForReadingUtf8(path, FileShare::None).Error() == EWOULDBLOCK ? 0
                                                                                                : 1;
              }),
              0);

    // Moving the handle moves the lock; destroying it releases the lock.
    {
        File moved = std::move(holder);
        EXPECT_FALSE(holder.IsOpen());
        EXPECT_FALSE(File::OpenForReadingUtf8(path, FileShare::Read).IsOpen());
    }
    File reader = File::OpenForReadingUtf8(path, FileShare::None);
    EXPECT_TRUE(reader.IsOpen());
}

TEST_F(FilesTest, SharedReadersExcludeOnlyTheExclusiveOpener) {
    const std::string path = PathOf("shared");
    ASSERT_EQ(ReplaceFileContentsUtf8(path, Bytes("x")), 0);
    File a = File::OpenForReadingUtf8(path, FileShare::Read);
    File b = File::OpenForReadingUtf8(path, FileShare::Read);
    EXPECT_TRUE(a.IsOpen());
    EXPECT_TRUE(b.IsOpen());
    EXPECT_EQ(File::OpenForReadingUtf8(path, FileShare::None).Error(), EWOULDBLOCK);
    a.Close();
    b.Close();
    EXPECT_TRUE(File::OpenForReadingUtf8(path, FileShare::None).IsOpen());
}

TEST_F(FilesTest, ReplaceKeepsModeAndLinksAndLeavesNoTemporaryFile) {
    const std::string path = PathOf("settings.dat");
    ASSERT_EQ(ReplaceFileContentsUtf8(path, Bytes("first")), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_EQ(ReplaceFileContents(Utf8ToUtf16(path), Bytes("second")), 0);
    EXPECT_EQ(ReadFile(path), "second");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    fs::create_symlink(path, PathOf("link.dat"));
    ASSERT_EQ(ReplaceFileContentsUtf8(PathOf("link.dat"), Bytes("third")), 0);
    EXPECT_TRUE(fs::is_symlink(PathOf("link.dat")));
    EXPECT_EQ(ReadFile(path), "third");

    EXPECT_EQ(ReplaceFileContentsUtf8(PathOf("none/x"), Bytes("x")), ENOENT);
    size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(m_dir.Path()))
        ++entries;
    EXPECT_EQ(entries, 2u);
}

TEST_F(FilesTest, ReplaceInAnUnwritableDirectoryLeavesTheOldFile) {
    const std::string sub = PathOf("sub");
    ASSERT_EQ(CreateDirectories(sub), 0);
    const std::string path = sub + "/file";
    ASSERT_EQ(ReplaceFileContentsUtf8(path, Bytes("old")), 0);
    ::chmod(m_dir.Path().c_str(), 0755);
    ::chmod(path.c_str(), 0644);
    ASSERT_EQ(::chmod(sub.c_str(), 0555), 0);
    const int rc =
        RunInChild([&] { return ReplaceFileContentsUtf8(path, Bytes("new")) == EACCES ? 0 : 1; },
                   /*unprivileged=*/true);
    ::chmod(sub.c_str(), 0755);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(ReadFile(path), "old");
}

TEST_F(FilesTest, CreateDirectoriesMakesParentsAndRefusesAFileInTheWay) {
    EXPECT_EQ(CreateDirectories(PathOf("a/b/c")), 0);
    EXPECT_TRUE(fs::is_directory(PathOf("a/b/c")));
    EXPECT_EQ(CreateDirectories(PathOf("a/b/c")), 0);
    ASSERT_EQ(ReplaceFileContentsUtf8(PathOf("plain"), Bytes("")), 0);
    EXPECT_EQ(CreateDirectories(PathOf("plain/d")), ENOTDIR);
}

TEST(ApplicationDirectory, IsTheExecutablesDirectoryWithSlashUnlessOneIsNamed) {
    const std::string exe = ExecutablePathUtf8();
    EXPECT_EQ(fs::path(exe), fs::canonical("/proc/self/exe"));
    const std::string dir = ApplicationDirectoryUtf8();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    EXPECT_EQ(exe.substr(0, dir.size()), dir);
    EXPECT_EQ(exe.find('/', dir.size()), std::string::npos);
    EXPECT_EQ(ApplicationDirectory(), Utf8ToUtf16(dir));
    EXPECT_EQ(ExecutablePath(), Utf8ToUtf16(exe));

    SetApplicationDirectory("/var/lib/scan");
    EXPECT_EQ(ApplicationDirectoryUtf8(), "/var/lib/scan/");
    SetApplicationDirectory("/srv/");
    EXPECT_EQ(ApplicationDirectory(), u"/srv/");
    SetApplicationDirectory("");
    EXPECT_EQ(ApplicationDirectoryUtf8(), dir);
}

}  // namespace
}  // namespace qv::platform
