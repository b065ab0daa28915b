// The words a device operation gives for why a line was refused, why the
// tracker could not be woken, and what it changed in a reply. Each is built in
// one place so the status tooltip, rv450-cli's reason line and any later hint
// say the same.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrun {

// The wake-up: this many attempts of about 0.8 s each before it gives up.
constexpr int kWakeUpAttempts = 30;
constexpr int kWakeUpSeconds = 24;

// Why an operation ended when the tracker on COM `portNumber` never answered
// the wake-up.
std::string WakeUpUnansweredReason(int portNumber);

// Why an operation ended when the tracker on COM `portNumber` gave the IMEI
// `before` at its start and `after` (empty: none) at its end.
std::string TrackerChangedReason(int portNumber, const std::string& before, const std::string& after);

// `text` with every control byte shown as its name in angle brackets ("<CR>"),
// so that it fits on one line of a log or a message.
std::string ShowControlBytes(std::string_view text);

// Why a command line that holds a control byte was not sent (the first one
// found, at its 1-based character position).
std::string ControlByteRefusedReason(std::string_view line);

// The names of the distinct control bytes in `text`, in the order they first
// appear: {"NUL", "ESC"}.
std::vector<std::string> ControlByteNames(std::string_view text);

// The note for a reply value whose control bytes were dropped: `where` names
// the value ("[RVKPN] PhoneName1"), `names` the bytes.
std::string ControlBytesDroppedNote(const std::string& where, const std::vector<std::string>& names);

}  // namespace kestrun
