// What the one whole-number reading takes and what it refuses.
#include <gtest/gtest.h>

#include "protocol/WholeNumber.h"

using namespace kestrun;

TEST(WholeNumberTest, TakesASignedNumberAndNothingElse) {
  struct Case {
    const char* text;
    int base;
    std::optional<long long> value;
  };
  const Case cases[] = {
      {"0", 10, 0},    {"0042", 10, 42},
      {"+7", 10, 7},   {"-12", 10, -12},
      {"B", 16, 11},   {"", 10, {}},
      {"+", 10, {}},   {"-", 10, {}},
      {" 5", 10, {}},  {"5 ", 10, {}},
      {"5x", 10, {}},  {"+-5", 10, {}},
      {"1.5", 10, {}}, {"99999999999999999999", 10, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseWhole(c.text, c.base), c.value) << c.text;
  EXPECT_EQ(ParseWholeWithin("255", 0, 255), 255);
  EXPECT_EQ(ParseWholeWithin("256", 0, 255), std::nullopt);
  EXPECT_EQ(ParseWholeWithin("-1", 0, 255), std::nullopt);
}
