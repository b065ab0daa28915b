// What stands between the tool and a serial port on Linux, and what the user
// can do about it: another program that holds the device, ModemManager
// probing a modem-like USB port, and the group that owns the device.
//
// On Windows only the error code is known: the neighbour functions find
// nothing there, and the advice follows from the code.
//
// Plain C++ and POSIX. Every system folder read here is a parameter
// (SystemRoots), so tests build a fake /proc, /sys, /run/udev and /dev in a
// temporary folder. Everything is safe to call from a worker thread: no
// static buffers (getgrgid_r, getpwuid_r, strerror_r), no shared state.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "port/PortDiscovery.h"

namespace kestrun {

struct SystemRoots {
  std::string proc = "/proc";      // processes: <pid>/comm and <pid>/fd/*
  std::string sys = "/sys";        // class/tty/<name>/{dev,device} and the USB device above it
  std::string udev = "/run/udev";  // the udev database: data/c<major>:<minor>
  std::string dev = "/dev";        // serial/by-id/*
};

// Who asks: the user's name and the groups the running process has. The
// default is this process (geteuid, getegid, getgroups).
struct UserAccess {
  std::string name;
  std::vector<gid_t> groups;
  static UserAccess OfThisProcess();
};

struct Holder {
  int pid = 0;
  std::string name;  // the process's command name (/proc/<pid>/comm)
};

struct UsbId {
  std::string vendor;   // four lower-case hex digits
  std::string product;  // four lower-case hex digits
};

// The device file behind a path (symbolic links resolved), or the path itself
// when it does not resolve.
std::string ResolveDevice(const std::string& path);

// The processes that have `device` open, by their /proc/<pid>/fd links, in
// ascending pid order. Processes of other users are not readable unless the
// caller is root, and are then missing from the list.
std::vector<Holder> ProcessesHolding(const std::string& device, const SystemRoots& roots = {});

// Whether a process named ModemManager runs.
bool IsModemManagerRunning(const SystemRoots& roots = {});

// The USB vendor and product id of the device a serial port belongs to; none
// for a port that is not on USB (a built-in UART, a pseudo-terminal).
std::optional<UsbId> UsbIdOf(const std::string& device, const SystemRoots& roots = {});

// Whether udev marked the port, or the USB device it belongs to, for
// ModemManager to leave alone (ID_MM_DEVICE_IGNORE=1).
bool MarkedModemManagerIgnore(const std::string& device, const SystemRoots& roots = {});

// A USB serial port that a running ModemManager probes: the id to put into
// the udev rule. None when ModemManager does not run, the port is not on USB
// or it is already marked to be ignored.
std::optional<UsbId> ModemManagerProbes(const std::string& device, const SystemRoots& roots = {});

// The udev rule that keeps ModemManager away from a USB device (a comment line
// and the rule line, each ending in a newline), where it is installed, and the
// shell command that installs it and makes udev apply it.
std::string ModemManagerIgnoreRule(const UsbId& id);
inline constexpr const char* kUdevRuleFile = "/etc/udev/rules.d/70-rv450-kestrun.rules";
std::string ModemManagerRuleCommand(const UsbId& id);

// What to tell the user about ModemManager and this port (the rule and the
// command included), or empty when ModemManager does not touch it.
std::string ModemManagerAdvice(const std::string& device, const SystemRoots& roots = {});

// The stable name of a device in /dev/serial/by-id, or empty when it has none.
std::string StableNameOf(const std::string& device, const SystemRoots& roots = {});

// Words for a failed open of `path` with errno `systemError`: the system's
// reason and the neighbour in the way, with what the user can do:
//   busy       - the programs that hold the device (name and pid), ModemManager
//                with its udev rule when it is one of them or probes the port;
//   permission - the device's group, whether the user is in it, and the
//                command that joins it;
//   missing    - check the cable or pick another port.
std::string DescribeOpenFailure(const std::string& path, int systemError, const SystemRoots& roots = {},
                                const UserAccess& user = UserAccess::OfThisProcess());

// Tries to open the device for reading and writing, exclusively, as the port
// does (without setting up the line), and closes it again. 0 when it opened,
// otherwise the errno value (EBUSY for a device locked by another program).
int TryOpenDevice(const std::string& path);

// One port as `rv450-cli ports` and the Main Setting dialog show it.
struct PortStatus {
  int number = 0;          // the COM number
  std::string devicePath;  // the device the user knows (a user link's target)
  std::string openPath;    // what the tool opens
  std::string stableName;  // /dev/serial/by-id/..., or empty
  bool canOpen = false;
  int systemError = 0;  // errno of the failed open, 0 when it opened
  std::string reason;   // why it does not open, with what to do; empty when it opens
  std::string advice;   // ModemManager advice for a port that opens, or empty
};

PortStatus InspectPort(const PortEntry& port, const SystemRoots& roots = {},
                       const UserAccess& user = UserAccess::OfThisProcess());
// Every port that discovery finds, ascending by COM number.
std::vector<PortStatus> InspectPorts(const DiscoveryPaths& paths = {}, const SystemRoots& roots = {});

// The status as lines of text (the port list's tooltip).
std::string DescribePort(const PortStatus& status);

}  // namespace kestrun
