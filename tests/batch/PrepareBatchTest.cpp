// The checks both front ends make before any port: one refusal, worded once.
#include <gtest/gtest.h>

#include "../cli/CliSupport.h"
#include "../support/TestSupport.h"
#include "batch/PrepareBatch.h"

using namespace kestrun;
using namespace kestrun::batch;
using namespace kestrun::testing;
using namespace ctl;

TEST(PrepareBatchTest, AConfigFileIsRefusedOrCappedAsItsValuesAndTheCallerAsk) {
  struct Case {
    const char* name;
    std::string port;  // SRI port: "123456" is cut to fit, "12a" breaks its rule
    bool allowCaps, capsHint;
    std::string message;  // empty: prepared
    std::size_t problems, capped;
  };
  const std::string breaks = "1 value breaks the form's rules; nothing was sent";
  const Case cases[] = {
      {"window, cappable", "123456", false, false, breaks, 1, 0},
      {"rv450-cli, cappable", "123456", false, true,
       breaks + " (--allow-caps sends them as the window corrects them)", 1, 0},
      {"rv450-cli --allow-caps", "123456", true, true, "", 0, 1},
      {"not cappable", "12a", true, true, breaks, 1, 0},
  };
  TempDir dir;
  for (const Case& c : cases) {
    CFormValues v = FullValues();
    v.Text(SriPort) = c.port;
    WriteConfig(dir / "in.ini", v);
    JobPlan plan;
    Refusal refusal;
    const bool ok = PrepareInput(
        {Command::Write, dir / "in.ini", std::nullopt, "5830", c.allowCaps, c.capsHint}, plan, refusal);
    EXPECT_EQ(ok, c.message.empty()) << c.name;
    EXPECT_EQ(refusal.message, c.message) << c.name;
    ASSERT_EQ(refusal.problems.size(), c.problems) << c.name;
    if (c.problems) {
      EXPECT_EQ(refusal.problems[0].rfind(dir / "in.ini" + std::string(": [RVSRI] "), 0), 0u) << c.name;
    }
    EXPECT_EQ(plan.capped.size(), c.capped) << c.name;
  }
}
