#include "platform/storage/files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/child_process.h"
#include "platform/text/utf.h"
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

// What an unprivileged user's save does where a rename would not be
// conservative. Each case is one child process dropped to user nobody; the
// exit code names the check that failed.
TEST_F(FilesTest, UnprivilegedSavesRespectTheFileAndItsNeighbours) {
    ::chmod(m_dir.Path().c_str(), 0755);
    const auto dir = [&](const char* name, mode_t mode) {
        const std::string path = PathOf(name);
        EXPECT_EQ(CreateDirectories(path), 0);
        ::chmod(path.c_str(), mode);
        return path;
    };
    const auto file = [](const std::string& path, std::string_view text, mode_t mode) {
        std::ofstream(path, std::ios::binary) << text;
        ::chmod(path.c_str(), mode);
    };
    const auto inode = [](const std::string& path) {
        struct stat st {};
        ::stat(path.c_str(), &st);
        return st.st_ino;
    };

    // A read-only file is refused as a plain write would refuse it.
    const std::string readOnly = dir("ro-file", 0777) + "/settings.dat";
    file(readOnly, "old", 0444);
    EXPECT_EQ(RunInChild([&] { return ReplaceFileContentsUtf8(readOnly, Bytes("new")); }, true),
              EACCES);
    EXPECT_EQ(ReadFile(readOnly), "old");

    // A writable file in a read-only directory is written where it stands.
    const std::string inPlace = dir("ro-dir", 0777) + "/settings.dat";
    file(inPlace, "old contents", 0666);
    ::chmod(PathOf("ro-dir").c_str(), 0555);
    EXPECT_EQ(RunInChild([&] { return ReplaceFileContentsUtf8(inPlace, Bytes("new")); }, true), 0);
    EXPECT_EQ(ReadFile(inPlace), "new");

    // A hard link shares the new contents.
    const std::string linked = dir("links", 0777) + "/settings.dat";
    file(linked, "old", 0666);
    fs::create_hard_link(linked, PathOf("links/other-name.dat"));
    EXPECT_EQ(RunInChild([&] { return ReplaceFileContentsUtf8(linked, Bytes("shared")); }, true),
              0);
    EXPECT_EQ(ReadFile(PathOf("links/other-name.dat")), "shared");

    // A temporary file left by a save that died is removed by the next save;
    // one of a live process (this one) may still be in use and stays.
    const std::string crashed = dir("crashed", 0777) + "/settings.dat";
    file(crashed, "old", 0666);
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    const std::string stale = PathOf("crashed/.settings.dat.tmp-") + std::to_string(gone) + "-0";
    const std::string live =
        PathOf("crashed/.settings.dat.tmp-") + std::to_string(::getpid()) + "-9";
    file(stale, "half", 0666);
    file(live, "busy", 0666);
    EXPECT_EQ(RunInChild([&] { return ReplaceFileContentsUtf8(crashed, Bytes("new")); }, true), 0);
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(live));
    EXPECT_EQ(ReadFile(crashed), "new");

    // The same bytes again write nothing: the file keeps its inode and time,
    // and even a file the user may not write counts as saved.
    const auto before = fs::last_write_time(crashed);
    const ino_t ino = inode(crashed);
    ::chmod(crashed.c_str(), 0444);
    EXPECT_EQ(RunInChild([&] { return ReplaceFileContentsUtf8(crashed, Bytes("new")); }, true), 0);
    EXPECT_EQ(inode(crashed), ino);
    EXPECT_EQ(fs::last_write_time(crashed), before);

    // While another opener holds the file shared (a load), a save of the
    // same bytes still succeeds; one of other bytes waits only briefly and
    // then counts the file as held.
    File reader = File::OpenForReadingUtf8(inPlace, FileShare::Read);
    ASSERT_TRUE(reader.IsOpen());
    EXPECT_EQ(ReplaceFileContentsUtf8(inPlace, Bytes("new")), 0);
    EXPECT_EQ(ReplaceFileContentsUtf8(inPlace, Bytes("other")), EWOULDBLOCK);
    reader.Close();
    EXPECT_EQ(ReadFile(inPlace), "new");
}

// Saves on a small file system of their own, where space and inodes run
// out: whatever fails, the file holds its old or its whole new contents.
class SmallFileSystemTest : public FilesTest {
  protected:
    void SetUp() override {
        m_root = PathOf("fs");
        ::chmod(m_dir.Path().c_str(), 0755);  // for the unprivileged children
        ASSERT_EQ(CreateDirectories(m_root), 0);
        if (::mount("tmpfs", m_root.c_str(), "tmpfs", 0, "size=64k,nr_inodes=64,mode=0777") != 0) {
            GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno)
                         << "); the full-disk saves are not tried";
        }
        m_mounted = true;
    }
    void TearDown() override {
        if (m_mounted) ::umount2(m_root.c_str(), MNT_DETACH);
    }
    std::string In(const std::string& name) const { return m_root + "/" + name; }
    // Takes every free block, and with `inodes` every free inode too.
    void Fill(bool inodes) {
        const std::vector<char> block(4096, 'f');
        for (int i = 0;; ++i) {
            const int fd = ::open(In("fill" + std::to_string(i)).c_str(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (fd < 0) break;
            while (::write(fd, block.data(), block.size()) > 0) {
            }
            ::close(fd);
            if (!inodes) break;
        }
    }
    void Unfill() {
        for (int i = 0; fs::exists(In("fill" + std::to_string(i))); ++i)
            fs::remove(In("fill" + std::to_string(i)));
    }

    std::string m_root;
    bool m_mounted = false;
};

TEST_F(SmallFileSystemTest, NoSaveEverLeavesACutFile) {
    // Our key, then another program's keys: a cut would lose theirs.
    const std::string old = "[HKEY_LOCAL_MACHINE\\Ours]\n" + std::string(4000, 'o') +
                            "\n[HKEY_LOCAL_MACHINE\\Software\\OtherApp\\P]\n";
    const std::string longer = old + std::string(6000, 'n');
    const std::string file = In("registry.reg");
    const auto reset = [&] {
        Unfill();
        std::ofstream(file, std::ios::binary | std::ios::trunc) << old;
        ::chmod(file.c_str(), 0666);
    };
    const struct {
        const char* what;
        bool inodes;       // no inode left either
        bool hardLink;     // the file has a second name
        std::string next;  // what the save writes
        int error;         // 0: saved
    } cases[] = {
        {"full disk", false, false, longer, ENOSPC},
        {"full disk, no inode", true, false, longer, ENOSPC},
        {"full disk, no inode, room in the file's own blocks", true, false, "short", 0},
        {"full disk, hard link", false, true, longer, ENOSPC},
        {"full disk, hard link, room in the file's own blocks", false, true, "short", 0},
    };
    for (const auto& c : cases) {
        reset();
        if (c.hardLink) fs::create_hard_link(file, In("second-name"));
        Fill(c.inodes);
        EXPECT_EQ(ReplaceFileContentsUtf8(file, Bytes(c.next)), c.error) << c.what;
        EXPECT_EQ(ReadFile(file), c.error == 0 ? c.next : old) << c.what;
        if (c.hardLink) {
            EXPECT_EQ(ReadFile(In("second-name")), ReadFile(file)) << c.what;
            fs::remove(In("second-name"));
        }
    }
    reset();

    // A read-only directory (no temporary file possible) and a leftover
    // temporary file with our own process id: written whole. The leftover
    // makes the save take another name, so the file is replaced, not
    // rewritten where it stands.
    const auto inode = [](const std::string& path) {
        struct stat st {};
        ::stat(path.c_str(), &st);
        return st.st_ino;
    };
    ASSERT_EQ(CreateDirectories(In("ro")), 0);
    std::ofstream(In("ro/settings.dat")) << "old";
    ::chmod(In("ro/settings.dat").c_str(), 0666);
    ::chmod(In("ro").c_str(), 0555);
    EXPECT_EQ(
        RunInChild([&] { return ReplaceFileContentsUtf8(In("ro/settings.dat"), Bytes("new")); },
                   true),
        0);
    EXPECT_EQ(ReadFile(In("ro/settings.dat")), "new");
    EXPECT_EQ(RunInChild([&] {
                  for (int n = 0; n < 50; ++n) {
                      std::ofstream(In(".registry.reg.tmp-" + std::to_string(::getpid()) + "-" +
                                       std::to_string(n)));
                  }
                  const ino_t before = inode(file);
                  const int error = ReplaceFileContentsUtf8(file, Bytes("renamed"));
                  return error != 0 ? error : inode(file) != before ? 0 : 99;
              }),
              0);
    EXPECT_EQ(ReadFile(file), "renamed");

    // A member of the file's group saves a 0660 file: the group stays, so
    // the others who share it through the group can still open it.
    constexpr gid_t kShared = 4242;
    const std::string shared = In("shared.dat");
    std::ofstream(shared) << "old";
    ASSERT_EQ(::chown(shared.c_str(), 0, kShared), 0);
    ::chmod(shared.c_str(), 0660);
    EXPECT_EQ(RunInChild([&] {
                  const gid_t groups[] = {kShared};
                  if (::setgroups(1, groups) != 0 || ::setgid(platform_test::kNobody) != 0 ||
                      ::setuid(platform_test::kNobody) != 0) {
                      return 98;
                  }
                  return ReplaceFileContentsUtf8(shared, Bytes("new"));
              }),
              0);
    struct stat st {};
    ASSERT_EQ(::stat(shared.c_str(), &st), 0);
    EXPECT_EQ(st.st_gid, kShared);
    EXPECT_EQ(st.st_mode & 07777, 0660u);
    EXPECT_EQ(ReadFile(shared), "new");

    // A dangling symbolic link: its target is made and the link kept.
    fs::create_symlink("made/later.reg", In("link.reg"));
    ASSERT_EQ(CreateDirectories(In("made")), 0);
    EXPECT_EQ(ReplaceFileContentsUtf8(In("link.reg"), Bytes("through the link")), 0);
    EXPECT_TRUE(fs::is_symlink(In("link.reg")));
    EXPECT_EQ(ReadFile(In("made/later.reg")), "through the link");
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

// An application installed where its user cannot write keeps its files in
// the user's state directory for the program instead.
TEST_F(FilesTest, ApplicationDataGoesToTheStateDirectoryWhereTheApplicationCannotWrite) {
    ::chmod(m_dir.Path().c_str(), 0755);
    const std::string installed = PathOf("bin");
    const std::string state = PathOf("state");
    ASSERT_EQ(CreateDirectories(installed), 0);
    ASSERT_EQ(CreateDirectories(state), 0);
    ::chmod(installed.c_str(), 0555);
    ::chmod(state.c_str(), 0777);
    test_support::ScopedEnv xdg("XDG_STATE_HOME", state);
    SetApplicationDirectory(installed);
    const std::string program = fs::path(ExecutablePathUtf8()).filename();
    if (::geteuid() == 0) {
        std::u16string unwritable = u"x";
        EXPECT_EQ(ApplicationDataDirectory(&unwritable), Utf8ToUtf16(installed + "/"))
            << "root may write there";
        EXPECT_EQ(unwritable, u"");
    }
    EXPECT_EQ(RunInChild(
                  [&] {
                      std::u16string where;
                      const bool moved = ApplicationDataDirectory(&where) ==
                                         Utf8ToUtf16(state + "/" + program + "/");
                      return moved && where == Utf8ToUtf16(installed + "/") ? 0 : 1;
                  },
                  true),
              0);
    EXPECT_TRUE(fs::is_directory(state + "/" + program));
    SetApplicationDirectory("");
}

}  // namespace
}  // namespace qv::platform
