#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "../support/TestSupport.h"
#include "port/PathLinks.h"

using namespace kestrun;
using namespace kestrun::testing;
namespace fs = std::filesystem;

TEST(PathLinks, ALinkInASharedFolderIsFollowedOnlyWhenTheUserOrTheFolderOwnerMadeIt) {
  constexpr uid_t me = 1000, folderOwner = 0, stranger = 1001;
  const struct {
    mode_t folder;
    uid_t linkOwner;
    bool followed;
  } cases[] = {
      {01777, me, true},       {01777, folderOwner, true}, {01777, stranger, false},
      {00777, stranger, true},  // not sticky: anyone may replace anything there anyway
      {01775, stranger, true},  // sticky but not world-writable
      {00755, stranger, true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MayFollowLink(S_IFDIR | c.folder, folderOwner, c.linkOwner, me), c.followed)
        << std::oct << c.folder << std::dec << " link of " << c.linkOwner;
}

TEST(PathLinks, ResolvesEveryLinkOnTheWayAndRefusesAPlantedOneWherePlanted) {
  TempDir dir;
  fs::create_directories(dir / "real/sub");
  fs::create_symlink(dir / "real", dir / "to-real");
  fs::create_symlink("sub/later.ini", dir / "real/dangling.ini");
  ResolvedPath own = ResolvePathLinks(dir / "to-real/dangling.ini");
  ASSERT_TRUE(own.ok) << own.step << ": " << own.reason;
  EXPECT_EQ(own.path, dir / "real/sub/later.ini");  // a folder link, then a dangling relative one

  if (::geteuid() != 0) GTEST_SKIP() << "planting another user's link needs root";
  ASSERT_TRUE(PlantLink(dir / "share", "folder", dir / "real", kOtherUser));
  const ResolvedPath planted = ResolvePathLinks(dir / "share/folder/out.ini");  // met on the way, not last
  EXPECT_FALSE(planted.ok);
  EXPECT_EQ(planted.step, "following the symbolic link " + dir / "share/folder");
  EXPECT_NE(planted.reason.find("another user (uid 65534)"), std::string::npos) << planted.reason;

  // The same link in a shared folder of that user is the folder owner's: followed.
  ASSERT_EQ(::chown((dir / "share").c_str(), kOtherUser, static_cast<gid_t>(-1)), 0);
  EXPECT_TRUE(ResolvePathLinks(dir / "share/folder/out.ini").ok);
}
