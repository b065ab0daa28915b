// The one text per known cause of a failure, shared by the window's popups,
// its status bar and rv450-cli's reason line.
#include <gtest/gtest.h>

#include "engine/EngineEvents.h"
#include "engine/ExchangeReasons.h"
#include "engine/Hints.h"

using namespace kestrun;

TEST(Hints, OneTextPerCause) {
  const struct {
    Cause cause;
    std::string holder;
    std::string text;
  } rows[] = {
      {Cause::None, "", ""},
      {Cause::WrongPassword, "",
       "The tracker answered the first settings line with ERROR: likely a wrong password; check the password "
       "in Main Setting."},
      {Cause::NoAnswer, "",
       "No answer from the tracker: check the cable, the port COM7 and that the tracker is powered."},
      {Cause::DeviceGone, "", "The device has gone away: check the cable and the adapter."},
      {Cause::PortHeld, "minicom", "COM7 is held by minicom: close it and try again."},
      {Cause::PortHeld, "", "COM7 is held by another program: close it and try again."},
  };
  for (const auto& row : rows) EXPECT_EQ(HintText(row.cause, 7, row.holder), row.text);
  // The wake-up's reason gives the same advice.
  EXPECT_NE(WakeUpUnansweredReason(7).find(NoAnswerAdvice(7)), std::string::npos);
}

TEST(Hints, TheFirstCauseStays) {
  OperationResult failure;
  NoteCause(failure, Cause::DeviceGone, 3);
  NoteCause(failure, Cause::NoAnswer, 3);
  EXPECT_EQ(failure.cause, Cause::DeviceGone);
  EXPECT_EQ(failure.hint, HintText(Cause::DeviceGone, 3));
}
