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
  // Refuse: a refusal of `action` is shown; Clear: another message is. Change: a choice changes and
  // the refused action is checked; Quiet: nothing is. Answer: check `check` (0, 1, ...: the case's
  // Changes) answers `error` (null: ok) and leaves `shows` on the screen (null: the screen stays).
  enum Op { Refuse, Clear, Change, Quiet, Answer };
  struct Step {
    Op op;
    int check = 0;
    const char* error = nullptr;
    const char* shows = nullptr;
    A action = A::Provision;
  };
  const Step refuseVerify{.op = Refuse, .action = A::Verify},
      refuseRead{.op = Refuse, .action = A::ReadToFiles};
  const char *noTable = "no per-tracker table chosen", *noTemplate = "no template config file chosen";
  const struct {
    const char* name;
    std::vector<Step> steps;
  } cases[] = {
      {"a late answer of an older check is dropped, the newer one wins",
       {{Refuse}, {Change}, {Change}, {Answer, 0, noTable}, {Answer, 1, nullptr, ""}}},
      {"the refusal goes when its cause goes; then a change asks nothing",
       {refuseVerify, {Change}, {Answer, 0, nullptr, ""}, {Quiet}}},
      {"a refusal that still holds stays, and the next change checks it again",
       {{Refuse}, {Change}, {Answer, 0, noTemplate, noTemplate}, {Change}, {Answer, 1, nullptr, ""}}},
      {"an answer after the refusal was replaced by another message is dropped; nothing to check",
       {{Refuse}, {Change}, {Clear}, {Answer, 0, noTable}, {Quiet}}},
      {"an answer to the check of an earlier refusal is dropped",
       {{Refuse}, {Change}, refuseVerify, {Answer, 0}, {Change}, {Answer, 1, noTemplate, noTemplate}}},
      {"Read to files asks for its folder: it is not checked again", {refuseRead, {Quiet}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CRefusalRecheck recheck;
    A refused = A::Provision;
    std::vector<unsigned> asked;
    for (const Step& s : c.steps) {
      if (s.op == Refuse) recheck.Refused(refused = s.action);
      if (s.op == Clear) recheck.Cleared();
      if (s.op == Change || s.op == Quiet) {
        const std::optional<RecheckAsk> ask = recheck.Changed();
        ASSERT_EQ(ask.has_value(), s.op == Change);
        if (ask) {
          EXPECT_EQ(ask->action, refused);
          asked.push_back(ask->id);
        }
      }
      if (s.op != Answer) continue;
      ASSERT_LT(static_cast<std::size_t>(s.check), asked.size());
      EXPECT_EQ(recheck.Answered(asked[s.check], !s.error, s.error ? s.error : ""),
                s.shows ? std::optional<std::string>(s.shows) : std::nullopt)
          << "answer of check " << s.check;
    }
  }
}

}  // namespace
