// A new journal and the folders made for it are the user's alone.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "journal/Journal.h"

using namespace kestrun::journal;
namespace fs = std::filesystem;

TEST(JournalTest, ANewJournalAndItsFolderArePrivate) {
  const fs::path dir = fs::path(testing::TempDir()) / ("journal-modes-" + std::to_string(::getpid())) / "new";
  fs::remove_all(dir.parent_path());
  const std::string path = (dir / "journal.sqlite").string();
  {
    CJournal journal;
    std::string error;
    ASSERT_TRUE(journal.Open(path, error)) << error;
  }
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat(dir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  fs::remove_all(dir.parent_path());
}
