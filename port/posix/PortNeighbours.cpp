#include "port/PortNeighbours.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "port/SystemError.h"
#include "protocol/WholeNumber.h"

namespace kestrun {

namespace fs = std::filesystem;

namespace {

std::optional<std::string> ReadFirstLine(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line)) return std::nullopt;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.pop_back();
  return line;
}

bool AllDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The numbered entries of the processes folder.
std::vector<int> ProcessIds(const SystemRoots& roots) {
  std::vector<int> pids;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(roots.proc, ec)) {
    const std::string name = entry.path().filename().string();
    if (AllDigits(name) && name.size() < 10) pids.push_back(static_cast<int>(*ParseWhole(name)));
  }
  std::sort(pids.begin(), pids.end());
  return pids;
}

std::string ProcessName(const SystemRoots& roots, int pid) {
  const auto comm = ReadFirstLine(fs::path(roots.proc) / std::to_string(pid) / "comm");
  return comm && !comm->empty() ? *comm : std::string("?");
}

std::string ReadLink(const fs::path& link) {
  char target[4096];
  const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
  return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

std::string TtyName(const std::string& device) { return fs::path(ResolveDevice(device)).filename().string(); }

// The sysfs folder of the USB device (the one with idVendor and idProduct)
// above a serial port: ttyUSB ports sit below a USB interface, ttyACM ports
// are one.
std::optional<fs::path> UsbDeviceDir(const std::string& device, const SystemRoots& roots) {
  std::error_code ec;
  const fs::path sysRoot = fs::canonical(roots.sys, ec);
  if (ec) return std::nullopt;
  const fs::path start = fs::canonical(fs::path(roots.sys) / "class/tty" / TtyName(device) / "device", ec);
  if (ec) return std::nullopt;
  const std::string rootText = sysRoot.string() + "/";
  for (fs::path dir = start; dir.string().rfind(rootText, 0) == 0; dir = dir.parent_path()) {
    if (fs::exists(dir / "idVendor", ec) && fs::exists(dir / "idProduct", ec)) return dir;
    if (dir == dir.parent_path()) break;
  }
  return std::nullopt;
}

std::optional<std::string> HexId(const fs::path& file) {
  auto value = ReadFirstLine(file);
  if (!value || value->size() != 4) return std::nullopt;
  for (char& c : *value) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
  }
  return value;
}

// Whether the udev database entry of the device with this "major:minor"
// carries the property.
bool UdevHasProperty(const SystemRoots& roots, const std::optional<std::string>& majorMinor,
                     const std::string& property) {
  if (!majorMinor || majorMinor->empty()) return false;
  std::ifstream in(fs::path(roots.udev) / "data" / ("c" + *majorMinor));
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == "E:" + property) return true;
  }
  return false;
}

std::string GroupName(gid_t gid) {
  long size = ::sysconf(_SC_GETGR_R_SIZE_MAX);
  std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : 1024));
  for (;;) {
    struct group entry {};
    struct group* found = nullptr;
    const int error = ::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found);
    if (error == ERANGE && buffer.size() < (1u << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (error == 0 && found) return found->gr_name;
    return std::to_string(gid);
  }
}

// Whether the group database lists the user in the group (as a member or as
// the user's primary group), whatever the running session knows of it.
bool GroupListsUser(gid_t gid, const std::string& user) {
  if (user.empty()) return false;
  long size = std::max(::sysconf(_SC_GETGR_R_SIZE_MAX), ::sysconf(_SC_GETPW_R_SIZE_MAX));
  std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : 1024));
  for (;;) {
    struct passwd account {};
    struct passwd* foundUser = nullptr;
    int error = ::getpwnam_r(user.c_str(), &account, buffer.data(), buffer.size(), &foundUser);
    if (error == ERANGE && buffer.size() < (1u << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (error == 0 && foundUser && foundUser->pw_gid == gid) return true;
    struct group entry {};
    struct group* found = nullptr;
    error = ::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found);
    if (error == ERANGE && buffer.size() < (1u << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (error != 0 || !found) return false;
    for (char** member = found->gr_mem; member && *member; ++member)
      if (user == *member) return true;
    return false;
  }
}

std::string PermissionAdvice(const std::string& device, const UserAccess& user) {
  struct stat info {};
  const std::string who = user.name.empty() ? std::string("$USER") : user.name;
  if (::stat(device.c_str(), &info) != 0)
    return ". Serial devices usually belong to the group 'dialout'; join it with 'sudo usermod -aG dialout " +
           who + "', then log out and in again.";
  const std::string group = GroupName(info.st_gid);
  const bool inSession = std::find(user.groups.begin(), user.groups.end(), info.st_gid) != user.groups.end();
  if (info.st_gid == 0)
    return ". The device belongs to the group 'root', which is not a group to join; ask the system's "
           "administrator for a udev rule that gives it the group 'dialout', and join that.";
  if (inSession) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    return ". You are in the device's group '" + group + "', but its mode " + mode +
           " does not let the group read and write it.";
  }
  if (GroupListsUser(info.st_gid, user.name))
    return ". The device belongs to the group '" + group +
           "'. You were added to it, but this session began before that: log out and in again (or start "
           "the tool from 'newgrp " +
           group + "').";
  return ". The device belongs to the group '" + group +
         "', and you are not in it. Join it with 'sudo usermod -aG " + group + " " + who +
         "', then log out and in again.";
}

std::string HolderList(const std::vector<Holder>& holders) {
  std::string text;
  for (const Holder& h : holders) {
    if (!text.empty()) text += ", ";
    text += h.name + " (pid " + std::to_string(h.pid) + ")";
  }
  return text;
}

std::string RuleAdvice(const UsbId& id) {
  return "A udev rule keeps ModemManager away from this device:\n" + ModemManagerIgnoreRule(id) +
         "Install it with:\n" + ModemManagerRuleCommand(id) + "\nthen plug the tracker in again.";
}

std::string BusyAdvice(const std::string& path, const SystemRoots& roots) {
  const std::vector<Holder> holders = ProcessesHolding(path, roots);
  const bool modemManagerHolds =
      std::any_of(holders.begin(), holders.end(), [](const Holder& h) { return h.name == "ModemManager"; });
  std::string text;
  if (holders.empty()) {
    text =
        ". Another program holds the port, one of another user whose name cannot be read here (see it "
        "with 'sudo fuser -v " +
        ResolveDevice(path) + "'); close it and try again.";
  } else {
    text = ". Another program holds the port: " + HolderList(holders) + ". Close it and try again.";
  }
  if (modemManagerHolds) {
    text +=
        "\nModemManager opens ports that look like a modem to probe them with AT commands; a tracker's USB "
        "port often looks like one.";
    if (const auto id = UsbIdOf(path, roots))
      text += " " + RuleAdvice(*id);
    else
      text += " Stop it for a while with 'sudo systemctl stop ModemManager'.";
  } else if (const std::string advice = ModemManagerAdvice(path, roots); !advice.empty()) {
    text += "\n" + advice;
  }
  return text;
}

}  // namespace

UserAccess UserAccess::OfThisProcess() {
  UserAccess user;
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : 1024));
  struct passwd account {};
  struct passwd* found = nullptr;
  while (::getpwuid_r(::geteuid(), &account, buffer.data(), buffer.size(), &found) == ERANGE &&
         buffer.size() < (1u << 20))
    buffer.resize(buffer.size() * 2);
  if (found) user.name = found->pw_name;
  user.groups.push_back(::getegid());
  const int count = ::getgroups(0, nullptr);
  if (count > 0) {
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = ::getgroups(count, groups.data());
    if (got > 0) user.groups.insert(user.groups.end(), groups.begin(), groups.begin() + got);
  }
  return user;
}

std::string ResolveDevice(const std::string& path) {
  std::error_code ec;
  const fs::path resolved = fs::canonical(path, ec);
  return ec ? path : resolved.string();
}

std::vector<Holder> ProcessesHolding(const std::string& device, const SystemRoots& roots) {
  std::vector<Holder> holders;
  const std::string target = ResolveDevice(device);
  struct stat deviceInfo {};
  const bool haveDevice = ::stat(target.c_str(), &deviceInfo) == 0;
  for (int pid : ProcessIds(roots)) {
    std::error_code ec;
    bool holds = false;
    for (const auto& fd : fs::directory_iterator(fs::path(roots.proc) / std::to_string(pid) / "fd", ec)) {
      const std::string link = ReadLink(fd.path());
      if (link == target) {
        holds = true;
      } else if (haveDevice && !link.empty() && link[0] == '/') {
        // The same file reached under another name: compare the files.
        struct stat info {};
        holds = ::stat(fd.path().c_str(), &info) == 0 && info.st_dev == deviceInfo.st_dev &&
                info.st_ino == deviceInfo.st_ino;
      }
      if (holds) break;
    }
    if (holds) holders.push_back({pid, ProcessName(roots, pid)});
  }
  return holders;
}

bool IsModemManagerRunning(const SystemRoots& roots) {
  for (int pid : ProcessIds(roots))
    if (ProcessName(roots, pid) == "ModemManager") return true;
  return false;
}

std::optional<UsbId> UsbIdOf(const std::string& device, const SystemRoots& roots) {
  const auto dir = UsbDeviceDir(device, roots);
  if (!dir) return std::nullopt;
  auto vendor = HexId(*dir / "idVendor");
  auto product = HexId(*dir / "idProduct");
  if (!vendor || !product) return std::nullopt;
  return UsbId{*vendor, *product};
}

bool MarkedModemManagerIgnore(const std::string& device, const SystemRoots& roots) {
  const char* property = "ID_MM_DEVICE_IGNORE=1";
  const auto portNumbers = ReadFirstLine(fs::path(roots.sys) / "class/tty" / TtyName(device) / "dev");
  if (UdevHasProperty(roots, portNumbers, property)) return true;
  const auto dir = UsbDeviceDir(device, roots);
  return dir && UdevHasProperty(roots, ReadFirstLine(*dir / "dev"), property);
}

std::optional<UsbId> ModemManagerProbes(const std::string& device, const SystemRoots& roots) {
  if (!IsModemManagerRunning(roots)) return std::nullopt;
  auto id = UsbIdOf(device, roots);
  if (!id || MarkedModemManagerIgnore(device, roots)) return std::nullopt;
  return id;
}

std::string ModemManagerIgnoreRule(const UsbId& id) {
  return "# ModemManager leaves the USB device " + id.vendor + ":" + id.product +
         " alone, so that RV450 Kestrun can use its serial port.\n"
         "ATTRS{idVendor}==\"" +
         id.vendor + "\", ATTRS{idProduct}==\"" + id.product + "\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n";
}

std::string ModemManagerRuleCommand(const UsbId& id) {
  // Each line of the rule goes into the file as it is: it holds no single quote.
  std::string lines;
  const std::string rule = ModemManagerIgnoreRule(id);
  std::size_t start = 0;
  for (std::size_t end; (end = rule.find('\n', start)) != std::string::npos; start = end + 1)
    lines += " '" + rule.substr(start, end - start) + "'";
  return "printf '%s\\n'" + lines + " | sudo tee -a " + kUdevRuleFile +
         " >/dev/null && sudo udevadm control --reload-rules && sudo udevadm trigger --subsystem-match=tty";
}

std::string ModemManagerAdvice(const std::string& device, const SystemRoots& roots) {
  const auto id = ModemManagerProbes(device, roots);
  if (!id) return {};
  return "ModemManager runs and probes this USB port (device " + id->vendor + ":" + id->product +
         "): it sends AT commands to ports that look like a modem, which can hold the port for a while "
         "and confuse the tracker. " +
         RuleAdvice(*id);
}

std::string StableNameOf(const std::string& device, const SystemRoots& roots) {
  const std::string target = ResolveDevice(device);
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(fs::path(roots.dev) / "serial/by-id", ec)) {
    std::error_code resolveError;
    const fs::path resolved = fs::canonical(entry.path(), resolveError);
    if (!resolveError && resolved.string() == target) names.push_back(entry.path().string());
  }
  std::sort(names.begin(), names.end());
  return names.empty() ? std::string() : names.front();
}

std::string DescribeOpenFailure(const std::string& path, int systemError, const SystemRoots& roots,
                                const UserAccess& user) {
  const std::string checkCable =
      ". Check that the tracker's cable is plugged in, or pick another port in Main Setting.";
  if (path.empty()) return "No serial device is known under this COM number" + checkCable;
  const std::string device = ResolveDevice(path);
  std::string text = path;
  if (device != path) text += " (" + device + ")";
  text += ": " + SystemReason(systemError);
  if (systemError == EACCES || systemError == EPERM) {
    text += PermissionAdvice(device, user);
  } else if (systemError == EBUSY || systemError == EWOULDBLOCK) {
    text += BusyAdvice(path, roots);
  } else if (systemError == ENOENT || systemError == ENXIO || systemError == ENODEV) {
    text += checkCable;
  }
  return text;
}

int TryOpenDevice(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  int error = 0;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) error = errno == EWOULDBLOCK ? EBUSY : errno;
  ::close(fd);
  return error;
}

}  // namespace kestrun
