#include "batch/PortReport.h"

#include <sstream>

#include "protocol/ControlChars.h"

namespace kestrun::batch {

std::string Plural(std::size_t n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

std::string OutcomeWords(const PortReport& r) {
  if (r.outcome == "different") return Plural(r.differences.size(), "difference");
  std::string words = r.outcome;
  for (char& c : words)
    if (c == '-') c = ' ';
  return words;
}

const char* CommandName(Command command) {
  switch (command) {
    case Command::Ports: return "ports";
    case Command::Read: return "read";
    case Command::Write: return "write";
    case Command::Diff: return "diff";
    case Command::Verify: return "verify";
    case Command::Journal: return "journal";
    case Command::Identify: return "identify";
    case Command::Provision: return "provision";
    case Command::Labels: return "labels";
    case Command::None: break;
  }
  return "";
}

// What went wrong, as shown on a terminal: the message may name a device or
// quote the tracker, so its control bytes are escaped.
std::string FailureText(const PortReport& r) {
  std::string text = r.message;
  if (!r.detail.empty()) text += (text.empty() ? "" : " (") + r.detail + (text.empty() ? "" : ")");
  return EscapeControlBytes(text);
}

std::string ResultText(const PortReport& r) {
  std::ostringstream out;
  out << OutcomeWords(r);
  if (!r.wouldSend.empty()) {
    out << ", " << Plural(r.wouldSend.size(), "line") << " of " << Plural(r.groupsSent.size(), "group")
        << ", nothing sent";
  } else if (r.exitCode == kExitOk || r.exitCode == kExitDifferent) {
    switch (r.command) {
      case Command::Read:
        out << ", " << Plural(r.groupsRead.size(), "group") << " into " << EscapeControlBytes(r.file);
        break;
      case Command::Write:
        out << ", " << Plural(r.groupsSent.size(), "group") << ", " << Plural(r.linesSent, "line") << " sent";
        break;
      case Command::Diff: out << ", " << Plural(r.keysCompared, "key") << " compared"; break;
      case Command::Verify:
        out << ", " << Plural(r.linesSent, "line") << " sent, " << Plural(r.keysCompared, "key")
            << " compared";
        break;
      case Command::Provision:
        if (r.linesSent > 0)
          out << ", " << Plural(r.linesSent, "line") << " sent, " << Plural(r.keysCompared, "key")
              << " compared";
        break;
      default: break;
    }
  } else if (!FailureText(r).empty()) {
    out << ": " << FailureText(r);
  }
  // provision names the tracker and its row; a tracker not written says why.
  if (r.command == Command::Provision) {
    const std::string imei = r.identity.Key();
    if (!imei.empty() || !r.rowKey.empty())
      out << " (" << (imei.empty() ? "" : "IMEI " + imei) << (imei.empty() || r.rowKey.empty() ? "" : ", ")
          << (r.rowKey.empty() ? "" : "row key " + EscapeControlBytes(r.rowKey)) << ")";
    if ((r.exitCode == kExitOk || r.exitCode == kExitDifferent) && r.linesSent == 0 && r.wouldSend.empty() &&
        !r.message.empty())
      out << ": " << EscapeControlBytes(r.message);
  }
  return out.str();
}

}  // namespace kestrun::batch
