#include "engine/ExchangeReasons.h"

#include <algorithm>

#include "engine/Hints.h"
#include "protocol/ControlChars.h"
#include "protocol/TextList.h"

namespace kestrun {

std::string WakeUpUnansweredReason(int portNumber) {
  return "No answer to " + std::to_string(kWakeUpAttempts) + " wake-up attempts in " +
         std::to_string(kWakeUpSeconds) + " s; " + NoAnswerAdvice(portNumber);
}

std::string TrackerChangedReason(int portNumber, const std::string& before, const std::string& after) {
  return "the tracker on COM" + std::to_string(portNumber) + " changed from " + before + " to " +
         (after.empty() ? std::string("one that gives no IMEI") : after) +
         " during the run; nothing is recorded as verified";
}

std::string ShowControlBytes(std::string_view text) {
  std::string shown;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    shown += IsControlByte(byte) ? "<" + ControlByteName(byte) + ">" : std::string(1, c);
  }
  return shown;
}

std::string ControlByteRefusedReason(std::string_view line) {
  const std::size_t at = FindControlByte(line);
  if (at == std::string_view::npos) return {};
  return "The line holds a control byte (" + ControlByteName(static_cast<unsigned char>(line[at])) +
         ") at character " + std::to_string(at + 1) + "; nothing of it was sent.";
}

std::vector<std::string> ControlByteNames(std::string_view text) {
  std::vector<std::string> names;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (!IsControlByte(byte)) continue;
    std::string name = ControlByteName(byte);
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(std::move(name));
  }
  return names;
}

std::string ControlBytesDroppedNote(const std::string& where, const std::vector<std::string>& names) {
  return "The tracker's " + where + " held control bytes (" + JoinedWith(names, ", ") +
         "); they were dropped.";
}

}  // namespace kestrun
