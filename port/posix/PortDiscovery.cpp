#include "port/PortDiscovery.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "protocol/WholeNumber.h"

namespace kestrun {

namespace fs = std::filesystem;

namespace {

struct Family {
  const char* prefix;
  int firstNumber;
};
constexpr Family kFamilies[] = {{"ttyUSB", 33}, {"ttyACM", 65}, {"ttyS", 1}};

// COM number of a kernel tty name, or 0 when it is not a serial device we number.
int NumberForTty(const std::string& name) {
  for (const Family& family : kFamilies) {
    const std::string prefix = family.prefix;
    if (name.rfind(prefix, 0) != 0 || name.size() == prefix.size()) continue;
    const std::string digits = name.substr(prefix.size());
    if (digits.size() > 4 || !IsDigits(digits)) return 0;
    return static_cast<int>(*ParseWhole(digits)) + family.firstNumber;
  }
  return 0;
}

// An 8250 port that the kernel registers without a UART reports type 0.
bool HasUart(const fs::path& ttyDir, const std::string& name) {
  if (name.rfind("ttyS", 0) != 0) return true;
  std::ifstream type(ttyDir / "type");
  int value = -1;
  if (type >> value) return value != 0;
  return true;
}

// COM number of a user link name "com<N>" (any letter case), or 0.
int NumberForLink(const std::string& name) {
  if (name.size() < 4 || (name[0] | 0x20) != 'c' || (name[1] | 0x20) != 'o' || (name[2] | 0x20) != 'm')
    return 0;
  const std::string digits = name.substr(3);
  if (digits.size() > 6 || !IsDigits(digits)) return 0;
  return static_cast<int>(*ParseWhole(digits));
}

std::map<int, PortEntry> CollectPorts(const DiscoveryPaths& paths) {
  std::map<int, PortEntry> ports;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(paths.sysfsTty, ec)) {
    const std::string name = entry.path().filename().string();
    const int number = NumberForTty(name);
    if (number <= 0 || !fs::exists(entry.path() / "device", ec) || !HasUart(entry.path(), name)) continue;
    const std::string dev = (fs::path(paths.devDir) / name).string();
    ports[number] = {number, dev, dev};
  }
  const std::string portsDir = paths.portsDir.empty() ? DefaultPortsDir() : paths.portsDir;
  for (const auto& entry : fs::directory_iterator(portsDir, ec)) {
    const int number = NumberForLink(entry.path().filename().string());
    if (number <= 0 || !fs::is_symlink(entry.symlink_status(ec))) continue;
    std::error_code readError;
    fs::path target = fs::read_symlink(entry.path(), readError);
    if (target.is_relative()) target = entry.path().parent_path() / target;
    ports[number] = {number, readError ? entry.path().string() : target.lexically_normal().string(),
                     entry.path().string()};
  }
  return ports;
}

}  // namespace

std::string DefaultPortsDir() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (config && *config) {
    base = config;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home && *home ? home : ".") + "/.config";
  }
  return base + "/rv450-kestrun/ports";
}

std::vector<PortEntry> DiscoverPorts(const DiscoveryPaths& paths) {
  std::vector<PortEntry> result;
  for (auto& [number, entry] : CollectPorts(paths)) {
    if (static_cast<int>(result.size()) >= kMaxPorts) break;
    result.push_back(entry);
  }
  return result;
}

std::string OpenPathForPort(int number, const DiscoveryPaths& paths) {
  const auto ports = CollectPorts(paths);
  const auto found = ports.find(number);
  return found == ports.end() ? std::string() : found->second.openPath;
}

const char* const kDeviceExample = "/dev/ttyUSB0";

int ComNumberOfDevice(const std::string&) { return 0; }

}  // namespace kestrun
