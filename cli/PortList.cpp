#include "cli/PortList.h"

#include <algorithm>

#include "cli/Report.h"

namespace kestrun::cli {

namespace {

// Further lines of a text indented under the first.
std::string Indented(const std::string& text, std::size_t indent) {
  std::string result;
  for (char c : text) {
    result += c;
    if (c == '\n') result += std::string(indent, ' ');
  }
  return result;
}

}  // namespace

void PrintPortsText(std::ostream& out, const std::vector<PortStatus>& ports) {
  if (ports.empty()) {
    out << "No serial ports found.\n";
    return;
  }
  std::size_t width = 0;
  for (const PortStatus& p : ports) width = std::max(width, p.devicePath.size());
  constexpr std::size_t kIndent = 7;
  for (const PortStatus& p : ports) {
    std::string com = "COM" + std::to_string(p.number);
    com.resize(std::max(com.size() + 1, kIndent), ' ');
    std::string device = p.devicePath;
    device.resize(width + 2, ' ');
    out << com << device << (p.canOpen ? "opens" : "does not open: " + Indented(p.reason, kIndent)) << "\n";
    if (!p.stableName.empty() && p.stableName != p.devicePath)
      out << std::string(kIndent, ' ') << "stable name: " << p.stableName << "\n";
    if (!p.advice.empty()) out << std::string(kIndent, ' ') << Indented(p.advice, kIndent) << "\n";
  }
}

void PrintPortsJson(std::ostream& out, const std::vector<PortStatus>& ports) {
  for (const PortStatus& p : ports) {
    out << "{\"port\":" << p.number << ",\"device\":" << JsonString(p.devicePath)
        << ",\"openPath\":" << JsonString(p.openPath) << ",\"stableName\":" << JsonString(p.stableName)
        << ",\"opens\":" << (p.canOpen ? "true" : "false") << ",\"reason\":" << JsonString(p.reason)
        << ",\"advice\":" << JsonString(p.advice) << "}\n";
  }
}

}  // namespace kestrun::cli
