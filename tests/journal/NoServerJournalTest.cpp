// A build without the shared journal still reads server strings as libpq
// does (never as file names, their passwords masked) and refuses them.
#include <gtest/gtest.h>

#include "journal/JournalStore.h"
#include "journal/ServerString.h"

using namespace kestrun::journal;

TEST(NoServerJournalTest, ServerStringsAreRecognisedMaskedAndRefused) {
  const struct {
    std::string target;
    TargetKind kind;
    std::string secret;  // must not survive MaskSecrets
  } cases[] = {
      {"host=db dbname=rv450", TargetKind::Server, ""},
      {"host = db password='p w\\'d'", TargetKind::Server, "p w'd"},
      {"postgresql://kestrun:s3cret@db/rv450", TargetKind::Server, "s3cret"},
      {"journal.sqlite", TargetKind::Path, ""},
      {"colour=blue.sqlite", TargetKind::Path, ""},
      {"host='db", TargetKind::Path, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ClassifyTarget(c.target), c.kind) << c.target;
    const std::string refusal = CJournalStore::RefusalOf(c.target);
    EXPECT_EQ(refusal.find("this build has no shared journal") != std::string::npos,
              c.kind == TargetKind::Server)
        << c.target;
    if (!c.secret.empty()) {
      EXPECT_TRUE(HoldsPassword(c.target)) << c.target;
      EXPECT_EQ(refusal.find(c.secret), std::string::npos) << refusal;
    }
  }
}
