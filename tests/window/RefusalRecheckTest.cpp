// Which action a shown refusal has checked again when the window's choices
// change, and what each answer changes on the screen. (That only the newest
// check's answer arrives is CLatestWork's part: LatestWorkTest.)
#include <gtest/gtest.h>

#include <vector>

#include "window/RefusalRecheck.h"

using namespace kestrun;

namespace {

TEST(RefusalRecheckTest, TheRefusalShownIsCheckedAgainAndGoesWithItsCause) {
  using A = ProvisioningAction;
  // Refuse: a refusal of `action` is shown; PortsRefuse: one about the ports; Clear: another message is.
  // Change: a choice changes and `action` is checked; Quiet: nothing is. Answer: the check answers
  // `error` (null: ok) and leaves `shows` on the screen (null: the screen stays). Tick: a tick changes
  // and the message goes; Stays: it stays.
  enum Op { Refuse, PortsRefuse, Clear, Change, Quiet, Answer, Tick, Stays };
  struct Step {
    Op op;
    A action = A::Provision;
    const char* error = nullptr;
    const char* shows = nullptr;
  };
  const char *noTable = "no per-tracker table chosen", *noTemplate = "no template config file chosen";
  const struct {
    const char* name;
    std::vector<Step> steps;
  } cases[] = {
      {"the refusal goes when its cause goes; then a change asks nothing",
       {{Refuse, A::Verify}, {Change, A::Verify}, {Answer, {}, nullptr, ""}, {Quiet}}},
      {"a refusal that still holds stays, and the next change checks it again",
       {{Refuse}, {Change}, {Answer, {}, noTemplate, noTemplate}, {Change}, {Answer, {}, nullptr, ""}}},
      {"a newer refusal is the one checked", {{Refuse}, {Refuse, A::Verify}, {Change, A::Verify}}},
      {"after another message nothing is checked, and an answer changes nothing",
       {{Refuse}, {Clear}, {Quiet}, {Answer, {}, noTable}}},
      {"Read to files asks for its folder: it is not checked again", {{Refuse, A::ReadToFiles}, {Quiet}}},
      {"a refusal about the ports stays as the choices change and goes with a tick",
       {{PortsRefuse}, {Quiet}, {Tick}, {Stays}}},
      {"a refusal about the choices stays as the ticks change", {{Refuse}, {Stays}, {Change}}},
      {"after a refusal about the ports, one about the choices is the one shown",
       {{PortsRefuse}, {Refuse}, {Stays}, {Change}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CRefusalRecheck recheck;
    for (const Step& s : c.steps) {
      switch (s.op) {
        case Refuse: recheck.Refused(s.action); break;
        case PortsRefuse: recheck.RefusedForPorts(); break;
        case Clear: recheck.Cleared(); break;
        case Tick: EXPECT_TRUE(recheck.PortsChanged()); break;
        case Stays: EXPECT_FALSE(recheck.PortsChanged()); break;
        case Change: EXPECT_EQ(recheck.Changed(), s.action); break;
        case Quiet: EXPECT_EQ(recheck.Changed(), std::nullopt); break;
        case Answer:
          EXPECT_EQ(recheck.Answered(!s.error, s.error ? s.error : ""),
                    s.shows ? std::optional<std::string>(s.shows) : std::nullopt);
      }
    }
  }
}

}  // namespace
