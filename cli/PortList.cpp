#include "cli/PortList.h"

#include <algorithm>
#include <filesystem>

#include "cli/Report.h"
#include "link/ComPort.h"

namespace kestrun::cli {

namespace fs = std::filesystem;

namespace {

std::string Canonical(const std::string& path) {
  std::error_code ec;
  const fs::path resolved = fs::canonical(path, ec);
  return ec ? std::string() : resolved.string();
}

std::vector<std::string> StableNames(const PortEntry& entry, const std::string& byIdDir) {
  std::vector<std::string> names;
  const std::string target = Canonical(entry.openPath);
  if (target.empty()) return names;
  std::error_code ec;
  for (const auto& link : fs::directory_iterator(byIdDir, ec))
    if (Canonical(link.path().string()) == target) names.push_back(link.path().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

std::vector<PortStatus> ListPorts(const DiscoveryPaths& discovery, const std::string& byIdDir) {
  std::vector<PortStatus> ports;
  for (const PortEntry& entry : DiscoverPorts(discovery)) {
    PortStatus status;
    status.number = entry.number;
    status.device = entry.devicePath;
    status.openPath = entry.openPath;
    status.stableNames = StableNames(entry, byIdDir);
    CComPort port;
    port.portNumber = entry.number;
    port.discovery = discovery;
    status.opens = port.Open();
    status.reason = status.opens ? std::string() : port.openFailureReason();
    port.Close();
    ports.push_back(std::move(status));
  }
  return ports;
}

void PrintPortsText(std::ostream& out, const std::vector<PortStatus>& ports) {
  if (ports.empty()) {
    out << "No serial ports found.\n";
    return;
  }
  std::size_t width = 0;
  for (const PortStatus& p : ports) width = std::max(width, p.device.size());
  for (const PortStatus& p : ports) {
    std::string com = "COM" + std::to_string(p.number);
    com.resize(std::max<std::size_t>(com.size() + 1, 7), ' ');
    std::string device = p.device;
    device.resize(width + 2, ' ');
    out << com << device << (p.opens ? "opens" : "does not open: " + p.reason) << "\n";
    for (const std::string& name : p.stableNames)
      out << std::string(7, ' ') << "stable name: " << name << "\n";
  }
}

void PrintPortsJson(std::ostream& out, const std::vector<PortStatus>& ports) {
  for (const PortStatus& p : ports) {
    out << "{\"port\":" << p.number << ",\"device\":" << JsonString(p.device)
        << ",\"openPath\":" << JsonString(p.openPath) << ",\"stableNames\":[";
    for (std::size_t i = 0; i < p.stableNames.size(); ++i)
      out << (i ? "," : "") << JsonString(p.stableNames[i]);
    out << "],\"opens\":" << (p.opens ? "true" : "false") << ",\"reason\":" << JsonString(p.reason) << "}\n";
  }
}

}  // namespace kestrun::cli
