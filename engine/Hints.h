// What the user can do about a failure whose cause is known: one text per
// cause, said as a second line under the window's popup, in the status bar's
// tooltip and in rv450-cli's reason line.
#pragma once

#include <string>

namespace kestrun {

struct OperationResult;

enum class Cause {
  None,
  WrongPassword,  // the tracker answered the first settings line with ERROR
  NoAnswer,       // nothing came back: the wake-up or a line went unanswered
  DeviceGone,     // the port's device vanished during the operation
  PortHeld,       // another program holds the port
};

// The advice for `cause` on COM `portNumber`; `holder` names the program that
// holds the port (empty: unknown). Empty for Cause::None.
std::string HintText(Cause cause, int portNumber, const std::string& holder = {});

// "check the cable, the port COM<n> and that the tracker is powered."
std::string NoAnswerAdvice(int portNumber);

// The command name of the first process that has the port at `devicePath`
// open; empty when none can be seen.
std::string PortHolderName(const std::string& devicePath);

// Records the first known cause of a failure and its hint; a later one does
// not replace it. `devicePath` is looked at only for Cause::PortHeld.
void NoteCause(OperationResult& failure, Cause cause, int portNumber, const std::string& devicePath = {});

}  // namespace kestrun
