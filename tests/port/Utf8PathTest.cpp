// Paths from and to this program's UTF-8 text: names beyond ASCII (and beyond
// the ANSI code page on Windows) keep their text through std::filesystem and
// name the files the platform's file calls made. Runs on Linux and under Wine.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../support/TestFiles.h"
#include "port/Platform.h"
#include "port/Utf8Path.h"

using namespace kestrun;
namespace fs = std::filesystem;

TEST(Utf8PathTest, NamesBeyondAsciiKeepTheirTextAndFindTheFilesThePlatformMade) {
  const kestrun::testing::TempDir dir;
  struct Case {
    std::string folder, name;
  };
  const Case cases[] = {
      {"plain", "a.ini"},
      {"Grüß✓", "ü.ini"},
      {"Ελληνικά 日本", "🛰 log.txt"},  // beyond the BMP: two UTF-16 units
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder + "/" + c.name);
    const fs::path path = PathFromUtf8(c.folder + "/" + c.name);
    EXPECT_EQ(Utf8OfPath(path), c.folder + "/" + c.name);
    EXPECT_EQ(Utf8OfPath(path.parent_path()), c.folder);
    EXPECT_EQ(Utf8OfPath(path.filename()), c.name);

    const std::string folder = dir / c.folder, file = dir / (c.folder + "/" + c.name);
    ASSERT_EQ(MakePrivateFolder(folder), 0);
    ASSERT_EQ(CreatePrivateFile(file), 0);
    EXPECT_TRUE(fs::is_directory(PathFromUtf8(folder)));
    EXPECT_TRUE(fs::exists(PathFromUtf8(file)));
    // And back: the name the file system lists is the UTF-8 text it was made with.
    std::vector<std::string> listed;
    for (const fs::directory_entry& entry : fs::directory_iterator(PathFromUtf8(folder)))
      listed.push_back(Utf8OfPath(entry.path().filename()));
    EXPECT_EQ(listed, std::vector<std::string>{c.name});
  }
}

TEST(Utf8PathTest, TextThatIsNoUtf8IsStillAPath) {
  const std::string latin1 = "Gr\xfc\xdf.ini";  // a name in a settings file's own code page
  fs::path path;
  EXPECT_NO_THROW(path = PathFromUtf8(latin1));
  EXPECT_FALSE(path.empty());
  // Where paths are bytes, they stay the same bytes.
  if (fs::path::preferred_separator == '/') {
    EXPECT_EQ(path.string(), latin1);
  }
}
