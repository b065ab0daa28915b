#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <thread>

#include "../support/TestSupport.h"
#include "port/SystemError.h"
#include "settings/SafeFile.h"

using namespace kestrun;
using namespace kestrun::testing;
namespace fs = std::filesystem;

namespace {

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

// Names in `folder` that a replace would use for its temporary files.
std::vector<std::string> Temporaries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().filename().string().find(".tmp-") != std::string::npos)
      names.push_back(entry.path().filename().string());
  return names;
}

// Restores the real write call when a test ends, whatever happens.
struct WriteCallGuard {
  explicit WriteCallGuard(WriteCall call) { SetWriteCallForTests(call); }
  ~WriteCallGuard() { SetWriteCallForTests(nullptr); }
};

// A disk that takes 10 bytes and is then full.
std::size_t fullDiskTaken = 0;
ssize_t FullAfterTenBytes(int fd, const void* data, std::size_t size) {
  std::size_t& taken = fullDiskTaken;
  if (taken >= 10) {
    errno = ENOSPC;
    return -1;
  }
  const std::size_t n = std::min<std::size_t>(size, 10 - taken);
  taken += n;
  return ::write(fd, data, n);
}

ssize_t OneByteAtATime(int fd, const void* data, std::size_t size) {
  if (size == 0) return 0;
  static thread_local bool interrupt = false;
  interrupt = !interrupt;
  if (interrupt) {  // every other call is interrupted by a signal
    errno = EINTR;
    return -1;
  }
  return ::write(fd, data, 1);
}

}  // namespace

// ---- Reading ----------------------------------------------------------------

TEST(SafeFileRead, MissingFileIsNoFailure) {
  TempDir dir;
  std::string text = "old";
  bool exists = true;
  EXPECT_TRUE(ReadSettingsFile(dir / "none.ini", text, exists));
  EXPECT_FALSE(exists);
  EXPECT_EQ(text, "");
}

TEST(SafeFileRead, ReadsUpToTheBoundAndRefusesMore) {
  TempDir dir;
  std::string text;
  bool exists = false;
  WriteFile(dir / "max.ini", std::string(kMaxSettingsFileSize, 'x'));
  ASSERT_TRUE(ReadSettingsFile(dir / "max.ini", text, exists));
  EXPECT_EQ(text.size(), kMaxSettingsFileSize);
  WriteFile(dir / "big.ini", std::string(kMaxSettingsFileSize + 1, 'x'));
  const FileResult big = ReadSettingsFile(dir / "big.ini", text, exists);
  EXPECT_FALSE(big);
  EXPECT_TRUE(exists);
  EXPECT_EQ(text, "");
  EXPECT_EQ(big.path, dir / "big.ini");
  EXPECT_NE(big.reason.find("larger than 1024 KB"), std::string::npos) << big.Message();
}

TEST(SafeFileRead, RefusesFifoDeviceAndFolderWithoutHanging) {
  TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "fifo.ini").c_str(), 0644), 0);
  fs::create_directory(dir / "folder.ini");
  std::string text;
  bool exists = false;
  // A FIFO with no writer would block a plain open for ever.
  const FileResult fifo = ReadSettingsFile(dir / "fifo.ini", text, exists);
  EXPECT_FALSE(fifo);
  EXPECT_NE(fifo.reason.find("FIFO"), std::string::npos) << fifo.Message();
  // /dev/zero never ends; it must not be read at all.
  const FileResult zero = ReadSettingsFile("/dev/zero", text, exists);
  EXPECT_FALSE(zero);
  EXPECT_NE(zero.reason.find("device"), std::string::npos) << zero.Message();
  EXPECT_EQ(text, "");
  const FileResult folder = ReadSettingsFile(dir / "folder.ini", text, exists);
  EXPECT_FALSE(folder);
  EXPECT_NE(folder.reason.find("folder"), std::string::npos) << folder.Message();
}

// ---- Replacing ----------------------------------------------------------------

TEST(SafeFileReplace, CreatesANewFileForItsOwnerAloneWhateverTheUmask) {
  TempDir dir;
  const mode_t mask = ::umask(0);
  const FileResult result = ReplaceSettingsFile(dir / "new.ini", "[A]\nx=1\n");
  ::umask(mask);
  ASSERT_TRUE(result) << result.Message();
  EXPECT_EQ(ReadFile(dir / "new.ini"), "[A]\nx=1\n");
  EXPECT_EQ(ModeOf(dir / "new.ini"), 0600u);
  EXPECT_TRUE(Temporaries(dir.path()).empty());
}

TEST(SafeFileReplace, KeepsModeAndOwnerOfTheOldFile) {
  TempDir dir;
  const std::string path = dir / "secret.ini";
  WriteFile(path, "old");
  ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(path.c_str(), 1234, 5678), 0);
  }
  ASSERT_TRUE(ReplaceSettingsFile(path, "new"));
  EXPECT_EQ(ReadFile(path), "new");
  EXPECT_EQ(ModeOf(path), 0600u);
  struct stat st {};
  ::stat(path.c_str(), &st);
  if (root) {
    EXPECT_EQ(st.st_uid, 1234u);
    EXPECT_EQ(st.st_gid, 5678u);
  } else {
    EXPECT_EQ(st.st_uid, ::geteuid());
  }
  // A mode without read bits for the group stays so, as does a world-readable one.
  ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
  ASSERT_TRUE(ReplaceSettingsFile(path, "newer"));
  EXPECT_EQ(ModeOf(path), 0644u);
}

// The kernel's protected_regular rule, for root too.
TEST(SafeFileReplace, AFileAnotherUserPlantedInASharedFolderIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "planting another user's file needs root";
  const struct {
    mode_t folderMode;
    uid_t folderOwner, fileOwner;
    bool refused;
  } cases[] = {{01777, 0, kOtherUser, true},
               {01777, 0, 0, false},
               {01777, kOtherUser, kOtherUser, false},
               {0777, 0, kOtherUser, false},
               {01775, 0, kOtherUser, false}};
  for (const auto& c : cases) {
    TempDir dir;
    const std::string path = dir / "out.ini";
    WriteFile(path, "old");
    ASSERT_EQ(::chown(path.c_str(), c.fileOwner, 0) | ::chmod(path.c_str(), 0666), 0);
    ASSERT_EQ(::chown(dir.path().c_str(), c.folderOwner, 0) | ::chmod(dir.path().c_str(), c.folderMode), 0);
    const FileResult result = ReplaceSettingsFile(path, "new");
    EXPECT_EQ(!result || !CheckSettingsFileReplaceable(path), c.refused)
        << c.folderMode << " " << c.fileOwner;
    EXPECT_EQ(ReadFile(path), c.refused ? "old" : "new");
    const std::string why =
        "the file belongs to another user (uid 65534) in a folder anyone may write to, "
        "where it may have been planted; such a file is replaced only when it is the "
        "user's own or the folder owner's";
    EXPECT_EQ(result.Message(), c.refused ? path + ": saving: " + why : "");
  }
}

TEST(SafeFileReplace, ReadOnlyFileIsRefusedAlsoForRoot) {
  TempDir dir;
  const std::string path = dir / "locked.ini";
  WriteFile(path, "old");
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  const FileResult result = ReplaceSettingsFile(path, "new");
  EXPECT_FALSE(result);
  EXPECT_EQ(result.path, path);
  EXPECT_EQ(result.reason, "the file is read-only");
  EXPECT_EQ(result.Message(), path + ": saving: the file is read-only");
  EXPECT_EQ(ReadFile(path), "old");
  EXPECT_EQ(ModeOf(path), 0444u);
  EXPECT_TRUE(Temporaries(dir.path()).empty());
}

TEST(SafeFileReplace, FollowsSymbolicLinksAndWritesTheirTarget) {
  TempDir dir;
  fs::create_directory(dir / "real");
  WriteFile(dir / "real/config.ini", "old");
  ASSERT_EQ(::chmod((dir / "real/config.ini").c_str(), 0640), 0);
  fs::create_symlink("real/config.ini", dir / "relative.ini");     // relative link
  fs::create_symlink(dir / "relative.ini", dir / "absolute.ini");  // a chain of two
  ASSERT_TRUE(ReplaceSettingsFile(dir / "absolute.ini", "new"));
  EXPECT_TRUE(fs::is_symlink(dir / "absolute.ini"));
  EXPECT_TRUE(fs::is_symlink(dir / "relative.ini"));
  EXPECT_EQ(ReadFile(dir / "real/config.ini"), "new");
  EXPECT_EQ(ModeOf(dir / "real/config.ini"), 0640u);
  EXPECT_TRUE(Temporaries(dir.path()).empty());
  EXPECT_TRUE(Temporaries(dir / "real").empty());

  // A dangling link gets its target created; the link stays a link.
  fs::create_symlink("real/later.ini", dir / "dangling.ini");
  ASSERT_TRUE(ReplaceSettingsFile(dir / "dangling.ini", "created"));
  EXPECT_TRUE(fs::is_symlink(dir / "dangling.ini"));
  EXPECT_EQ(ReadFile(dir / "real/later.ini"), "created");

  // A loop of links is refused with the system's reason.
  fs::create_symlink(dir / "loop-b.ini", dir / "loop-a.ini");
  fs::create_symlink(dir / "loop-a.ini", dir / "loop-b.ini");
  const FileResult loop = ReplaceSettingsFile(dir / "loop-a.ini", "x");
  EXPECT_FALSE(loop);
  EXPECT_EQ(loop.reason, SystemReason(ELOOP));
}

TEST(SafeFileReplace, ALinkAnotherUserPlantedInASharedFolderIsNotFollowed) {
  if (::geteuid() != 0) GTEST_SKIP() << "planting another user's link needs root";
  TempDir dir;
  fs::create_directory(dir / "victim");
  WriteFile(dir / "victim/secret.txt", "secret");
  ASSERT_TRUE(PlantLink(dir / "share", "out.ini", dir / "victim/secret.txt", kOtherUser));
  const FileResult planted = ReplaceSettingsFile(dir / "share/out.ini", "new");
  EXPECT_FALSE(planted);
  EXPECT_EQ(planted.path, dir / "share/out.ini");
  EXPECT_EQ(planted.step, "following the symbolic link " + dir / "share/out.ini");
  EXPECT_FALSE(CheckSettingsFileReplaceable(dir / "share/out.ini"));
  EXPECT_EQ(ReadFile(dir / "victim/secret.txt"), "secret");
  EXPECT_TRUE(fs::is_symlink(dir / "share/out.ini"));

  // The user's own link in the same folder is followed.
  fs::create_symlink(dir / "victim/mine.ini", dir / "share/mine.ini");
  EXPECT_TRUE(CheckSettingsFileReplaceable(dir / "share/mine.ini"));
  ASSERT_TRUE(ReplaceSettingsFile(dir / "share/mine.ini", "mine"));
  EXPECT_EQ(ReadFile(dir / "victim/mine.ini"), "mine");
}

TEST(SafeFileReplace, ReadOnlyFolderIsRefusedAndNothingIsLeft) {
  TempDir dir;
  fs::create_directory(dir / "ro");
  WriteFile(dir / "ro/c.ini", "old");
  ASSERT_EQ(::chmod((dir / "ro").c_str(), 0555), 0);
  const FileResult existing = ReplaceSettingsFile(dir / "ro/c.ini", "new");
  const FileResult fresh = ReplaceSettingsFile(dir / "ro/fresh.ini", "new");
  ::chmod((dir / "ro").c_str(), 0755);
  EXPECT_FALSE(existing);
  EXPECT_FALSE(fresh);
  EXPECT_NE(existing.step.find("temporary file in " + dir / "ro"), std::string::npos) << existing.Message();
  EXPECT_EQ(ReadFile(dir / "ro/c.ini"), "old");
  EXPECT_FALSE(fs::exists(dir / "ro/fresh.ini"));
  EXPECT_TRUE(Temporaries(dir / "ro").empty());

  const FileResult missing = ReplaceSettingsFile(dir / "missing/dir/x.ini", "new");
  EXPECT_FALSE(missing);
  EXPECT_EQ(missing.reason, SystemReason(ENOENT));
  EXPECT_FALSE(fs::exists(dir / "missing"));
}

TEST(SafeFileReplace, HardLinkedFileIsRefusedSoTheLinksStayTogether) {
  TempDir dir;
  WriteFile(dir / "a.ini", "old");
  fs::create_hard_link(dir / "a.ini", dir / "b.ini");
  const FileResult result = ReplaceSettingsFile(dir / "a.ini", "new");
  EXPECT_FALSE(result);
  EXPECT_NE(result.reason.find("2 hard links"), std::string::npos) << result.Message();
  EXPECT_EQ(ReadFile(dir / "a.ini"), "old");
  EXPECT_EQ(fs::hard_link_count(dir / "a.ini"), 2u);
  EXPECT_TRUE(Temporaries(dir.path()).empty());
}

TEST(SafeFileReplace, FullDiskLeavesTheOldFileWholeAndSaysWhy) {
  TempDir dir;
  const std::string path = dir / "c.ini";
  WriteFile(path, "the old text");
  {
    fullDiskTaken = 0;
    WriteCallGuard full(&FullAfterTenBytes);
    const FileResult result = ReplaceSettingsFile(path, std::string(5000, 'n'));
    EXPECT_FALSE(result);
    EXPECT_EQ(result.path, path);
    EXPECT_EQ(result.step, "writing the temporary file");
    EXPECT_EQ(result.reason, SystemReason(ENOSPC));
    EXPECT_EQ(result.Lines(), path + "\nwriting the temporary file: " + SystemReason(ENOSPC));
  }
  EXPECT_EQ(ReadFile(path), "the old text");
  EXPECT_TRUE(Temporaries(dir.path()).empty());
}

TEST(SafeFileReplace, ShortAndInterruptedWritesStillWriteEverything) {
  TempDir dir;
  WriteCallGuard slow(&OneByteAtATime);
  const std::string text = "[Main]\nGenPassword=5830\n";
  ASSERT_TRUE(ReplaceSettingsFile(dir / "m.ini", text));
  EXPECT_EQ(ReadFile(dir / "m.ini"), text);
}

// A real full disk: a small tmpfs, where the machine lets the test mount one.
TEST(SafeFileReplace, FullTmpfsLeavesTheOldFileWhole) {
  TempDir dir;
  const std::string mountPoint = dir / "small";
  fs::create_directory(mountPoint);
  if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "no tmpfs here: " << SystemReason(errno);
  struct Unmount {
    std::string path;
    ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
  } unmount{mountPoint};
  const std::string path = mountPoint + "/c.ini";
  const std::string old = "[RVSRI]\nAPN=old\n";
  ASSERT_TRUE(ReplaceSettingsFile(path, old));
  const FileResult result = ReplaceSettingsFile(path, std::string(256 * 1024, 'n'));
  EXPECT_FALSE(result);
  EXPECT_EQ(result.reason, SystemReason(ENOSPC)) << result.Message();
  EXPECT_EQ(ReadFile(path), old);
  EXPECT_TRUE(Temporaries(mountPoint).empty());
}

TEST(SafeFileReplace, StaleTemporaryOfADeadSaveIsRemovedOthersStay) {
  TempDir dir;
  const std::string path = dir / "c.ini";
  WriteFile(path, "old");
  // A process that has ended: its pid is free.
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ASSERT_GT(child, 0);
  ::waitpid(child, nullptr, 0);
  const std::string prefix = dir / TemporaryNamePrefix("c.ini");
  const std::string dead = prefix + std::to_string(child) + "-abcdef";
  const std::string alive = prefix + std::to_string(::getppid()) + "-abcdef";
  const std::string other = dir / TemporaryNamePrefix("d.ini") + std::to_string(child) + "-abcdef";
  for (const std::string& name : {dead, alive, other}) WriteFile(name, "partial");
  ASSERT_TRUE(ReplaceSettingsFile(path, "new"));
  EXPECT_FALSE(fs::exists(dead));
  EXPECT_TRUE(fs::exists(alive));  // a save of a live process may still be running
  EXPECT_TRUE(fs::exists(other));  // another file's
}
