#include "engine/Hints.h"

#include "engine/EngineEvents.h"
#include "port/PortNeighbours.h"

namespace kestrun {

std::string NoAnswerAdvice(int portNumber) {
  return "check the cable, the port COM" + std::to_string(portNumber) + " and that the tracker is powered.";
}

std::string HintText(Cause cause, int portNumber, const std::string& holder) {
  const std::string port = "COM" + std::to_string(portNumber);
  switch (cause) {
    case Cause::None: return {};
    case Cause::WrongPassword:
      return "The tracker answered the first settings line with ERROR: likely a wrong password; "
             "check the password in Main Setting.";
    case Cause::NoAnswer: return "No answer from the tracker: " + NoAnswerAdvice(portNumber);
    case Cause::DeviceGone: return "The device has gone away: check the cable and the adapter.";
    case Cause::PortHeld:
      return port + " is held by " + (holder.empty() ? std::string("another program") : holder) +
             ": close it and try again.";
  }
  return {};
}

std::string PortHolderName(const std::string& devicePath) {
  if (devicePath.empty()) return {};
  const std::vector<Holder> holders = ProcessesHolding(ResolveDevice(devicePath));
  return holders.empty() ? std::string() : holders.front().name;
}

void NoteCause(OperationResult& failure, Cause cause, int portNumber, const std::string& devicePath) {
  if (failure.cause != Cause::None || cause == Cause::None) return;
  failure.cause = cause;
  failure.hint = HintText(cause, portNumber, cause == Cause::PortHeld ? PortHolderName(devicePath) : "");
}

}  // namespace kestrun
