// Which check of a shown refusal counts when the window's choices change
// while earlier checks are still on their way, and what each answer changes
// on the screen.
#include <gtest/gtest.h>

#include <vector>

#include "window/RefusalRecheck.h"

using namespace kestrun;

namespace {

TEST(RefusalRecheckTest, TheLatestCheckAloneDecidesAndTheRefusalGoesWithItsCause) {
  using A = ProvisioningAction;
  enum Op { Refuse, Clear, Change, Answer };
  struct Step {
    Op op;
    A action = A::Provision;  // Refuse: the refused action; Change: the action asked, when one is
    int check = -1;           // Answer: which Change of the case (0, 1, ...) it answers
    bool ok = false;
    const char* error = "";
    bool asks = true;             // Change: whether a check is asked for
    const char* shows = nullptr;  // Answer: the message it leaves; null: the screen stays as it is
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      {"a late answer of an older check is dropped, the newer one wins",
       {{Refuse}, {Change}, {Change}, {Answer, A::Provision, 0, false, "no per-tracker table chosen"},
        {Answer, A::Provision, 1, true, "", true, ""}}},
      {"an older check answering after the newer is dropped too",
       {{Refuse}, {Change}, {Change}, {Answer, A::Provision, 1, false, "t.csv: no such file", true,
                                       "t.csv: no such file"},
        {Answer, A::Provision, 0, true}}},
      {"the refusal goes when its cause goes; then a change asks nothing",
       {{Refuse, A::Verify}, {Change, A::Verify}, {Answer, A::Verify, 0, true, "", true, ""},
        {Change, A::Verify, -1, false, "", false}}},
      {"a refusal that still holds stays, and the next change checks it again",
       {{Refuse}, {Change}, {Answer, A::Provision, 0, false, "no template config file chosen", true,
                             "no template config file chosen"},
        {Change}, {Answer, A::Provision, 1, true, "", true, ""}}},
      {"an answer after the refusal was replaced by another message is dropped",
       {{Refuse}, {Change}, {Clear}, {Answer, A::Provision, 0, false, "no per-tracker table chosen"},
        {Change, A::Provision, -1, false, "", false}}},
      {"an answer to the check of an earlier refusal is dropped",
       {{Refuse}, {Change}, {Refuse, A::Verify}, {Answer, A::Provision, 0, true}, {Change, A::Verify},
        {Answer, A::Verify, 1, false, "no template config file chosen", true, "no template config file chosen"}}},
      {"Read to files asks for its folder: it is not checked again",
       {{Refuse, A::ReadToFiles}, {Change, A::ReadToFiles, -1, false, "", false}}},
      {"nothing refused, nothing to check", {{Change, A::Provision, -1, false, "", false}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CRefusalRecheck recheck;
    std::vector<unsigned> asked;
    for (const Step& s : c.steps) {
      switch (s.op) {
        case Refuse: recheck.Refused(s.action); break;
        case Clear: recheck.Cleared(); break;
        case Change: {
          const std::optional<RecheckAsk> ask = recheck.Changed();
          ASSERT_EQ(ask.has_value(), s.asks);
          if (!ask) break;
          EXPECT_EQ(ask->action, s.action);
          asked.push_back(ask->id);
          break;
        }
        case Answer: {
          ASSERT_LT(static_cast<std::size_t>(s.check), asked.size());
          const std::optional<std::string> shows = recheck.Answered(asked[s.check], s.ok, s.error);
          ASSERT_EQ(shows.has_value(), s.shows != nullptr) << "answer of check " << s.check;
          if (shows) {
            EXPECT_EQ(*shows, s.shows);
          }
          break;
        }
      }
    }
  }
}

}  // namespace
