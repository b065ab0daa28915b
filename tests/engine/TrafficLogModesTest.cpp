// The traffic log's failures, modes and links on Linux: a full disk, a new
// log private to the user, a link another user planted.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "../support/TestSupport.h"
#include "engine/TrafficLog.h"

using namespace kestrun;
using namespace kestrun::testing;

TEST(TrafficLog, KeepsTheFirstReasonALineWasLost) {
  TempDir dir;
  CTrafficLog fine(dir.path());
  fine.Log("kept", Direction::Sent);
  EXPECT_EQ(fine.Failure(), "");

  const struct {
    std::string path;
    std::string says;
  } cases[] = {
      {dir / "missing/AtLog.log", dir / "missing/AtLog.log: opening it: No such file or directory"},
      {"/dev/full", "/dev/full: writing: No space left on device"},
  };
  for (const auto& c : cases) {
    CTrafficLog log;
    log.SetPath(c.path);
    log.Log("one", Direction::Sent);
    EXPECT_EQ(log.Failure(), c.says);
    std::filesystem::create_directories(dir / "missing/AtLog.log");  // a later line fails otherwise
    log.Log("two", Direction::Received);
    EXPECT_EQ(log.Failure(), c.says);  // the first reason stays
  }
  EXPECT_EQ(CheckTrafficLog("/dev/null"), "/dev/null: it is not a regular file");
}

TEST(TrafficLog, ANewLogIsPrivateAnExistingOneKeepsItsMode) {
  TempDir dir;
  ::umask(022);
  CTrafficLog fresh(dir / "new");
  std::filesystem::create_directory(dir / "new");
  fresh.Log("password 5830", Direction::Sent);
  struct stat st {};
  ASSERT_EQ(::stat(fresh.Path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);

  WriteFile(dir / "AtLog.log", "");
  ASSERT_EQ(::chmod((dir / "AtLog.log").c_str(), 0640), 0);
  CTrafficLog old(dir.path());
  old.Log("line", Direction::Sent);
  ASSERT_EQ(::stat(old.Path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_NE(ReadFile(old.Path()).find(" --> line"), std::string::npos);
}

TEST(TrafficLog, ALinkAnotherUserPlantedInASharedFolderIsNotFollowed) {
  if (::geteuid() != 0) GTEST_SKIP() << "planting another user's link needs root";
  TempDir dir;
  WriteFile(dir / "victim.txt", "victim\n");
  ASSERT_TRUE(PlantLink(dir / "share", "AtLog.log", dir / "victim.txt", kOtherUser));
  CTrafficLog planted(dir / "share");
  planted.Log("AT+RVPIN=5830", Direction::Sent);
  EXPECT_EQ(ReadFile(dir / "victim.txt"), "victim\n");
  EXPECT_NE(planted.Failure().find("following the symbolic link " + dir / "share/AtLog.log"),
            std::string::npos)
      << planted.Failure();
  EXPECT_NE(CheckTrafficLog(planted.Path()), "");

  // The user's own link there is followed.
  std::filesystem::create_symlink(dir / "mine.log", dir / "share/mine.log");
  CTrafficLog own;
  own.SetPath(dir / "share/mine.log");
  own.Log("line", Direction::Sent);
  EXPECT_EQ(own.Failure(), "");
  EXPECT_NE(ReadFile(dir / "mine.log").find(" --> line"), std::string::npos);
}
