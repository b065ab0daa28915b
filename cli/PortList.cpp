#include "cli/PortList.h"

#include <algorithm>

#include "cli/JsonWriter.h"
#include "cli/Report.h"
#include "protocol/ControlChars.h"

namespace kestrun::cli {

using namespace kestrun::batch;

namespace {

// Further lines of a text indented under the first; any other control byte
// (a device name is whatever a link in the ports folder says) escaped.
std::string Indented(const std::string& text, std::size_t indent) {
  std::string result;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    result += EscapeControlBytes(std::string_view(text).substr(start, end - start)) + "\n" +
              std::string(indent, ' ');
  return result + EscapeControlBytes(std::string_view(text).substr(start));
}

}  // namespace

void PrintPortsText(std::ostream& out, const std::vector<PortStatus>& ports) {
  if (ports.empty()) {
    out << "No serial ports found.\n";
    return;
  }
  std::size_t width = 0;
  for (const PortStatus& p : ports) width = std::max(width, EscapeControlBytes(p.devicePath).size());
  constexpr std::size_t kIndent = 7;
  for (const PortStatus& p : ports) {
    std::string com = "COM" + std::to_string(p.number);
    com.resize(std::max(com.size() + 1, kIndent), ' ');
    std::string device = EscapeControlBytes(p.devicePath);
    device.resize(width + 2, ' ');
    out << com << device << (p.canOpen ? "opens" : "does not open: " + Indented(p.reason, kIndent)) << "\n";
    if (!p.stableName.empty() && p.stableName != p.devicePath)
      out << std::string(kIndent, ' ') << "stable name: " << EscapeControlBytes(p.stableName) << "\n";
    if (!p.advice.empty()) out << std::string(kIndent, ' ') << Indented(p.advice, kIndent) << "\n";
  }
}

void PrintPortsJson(std::ostream& out, const std::vector<PortStatus>& ports) {
  for (const PortStatus& p : ports) {
    out << CJsonObject()
               .Whole("schema", kJsonSchema)
               .Whole("port", p.number)
               .Text("device", p.devicePath)
               .Text("openPath", p.openPath)
               .Text("stableName", p.stableName)
               .Flag("opens", p.canOpen)
               .Text("reason", p.reason)
               .Text("advice", p.advice)
               .Done()
        << "\n";
  }
}

}  // namespace kestrun::cli
