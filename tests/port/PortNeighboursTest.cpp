// The port's neighbours on a fake system (processes, sysfs, the udev database
// and /dev in a temporary folder), and on the real one with a pseudo-terminal.
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <regex>
#include <thread>

#include "../support/TestSupport.h"
#include "port/ComPort.h"
#include "port/PortNeighbours.h"
#include "port/SystemError.h"

using namespace kestrun;
using namespace kestrun::testing;
namespace fs = std::filesystem;

namespace {

// A machine in a folder: one USB serial adapter (ttyUSB0 below interface 1-2:1.0
// of USB device 1-2), one USB modem-like port (ttyACM0, whose device is the
// interface itself), a built-in UART (ttyS0), processes and the udev database.
class FakeSystem {
 public:
  FakeSystem() {
    roots.proc = dir / "proc";
    roots.sys = dir / "sys";
    roots.udev = dir / "run/udev";
    roots.dev = dir / "dev";
    fs::create_directories(roots.proc);
    fs::create_directories(roots.udev + "/data");
    fs::create_directories(roots.dev + "/serial/by-id");
    AddUsbPort("ttyUSB0", "188:0", "usb1/1-2", "1-2:1.0/ttyUSB0", "0403", "6001", "189:1");
    AddUsbPort("ttyACM0", "166:0", "usb1/1-3", "1-3:1.0", "1D6B", "A0F2", "189:2");
    fs::create_directories(dir / "sys/devices/platform/serial8250/tty/ttyS0");
    AddTty("ttyS0", "4:64", dir / "sys/devices/platform/serial8250/tty/ttyS0");
    fs::create_symlink("../../ttyUSB0", roots.dev + "/serial/by-id/usb-FTDI_FT232R_A123-if00-port0");
  }

  std::string Device(const std::string& name) const { return roots.dev + "/" + name; }

  void AddProcess(int pid, const std::string& name, const std::vector<std::string>& openFiles) {
    const std::string base = roots.proc + "/" + std::to_string(pid);
    fs::create_directories(base + "/fd");
    WriteFile(base + "/comm", name + "\n");
    int fd = 0;
    for (const std::string& file : openFiles) fs::create_symlink(file, base + "/fd/" + std::to_string(fd++));
  }

  void MarkInUdev(const std::string& majorMinor, const std::string& property) {
    std::ofstream(roots.udev + "/data/c" + majorMinor, std::ios::app) << "E:" << property << "\n";
  }

  TempDir dir;
  SystemRoots roots;

 private:
  void AddTty(const std::string& name, const std::string& majorMinor, const std::string& deviceDir) {
    fs::create_directories(roots.sys + "/class/tty/" + name);
    WriteFile(roots.sys + "/class/tty/" + name + "/dev", majorMinor + "\n");
    fs::create_symlink(deviceDir, roots.sys + "/class/tty/" + name + "/device");
    WriteFile(roots.dev + "/" + name, "");
  }
  void AddUsbPort(const std::string& name, const std::string& majorMinor, const std::string& usbDevice,
                  const std::string& below, const std::string& vendor, const std::string& product,
                  const std::string& usbMajorMinor) {
    const std::string usbDir = dir / ("sys/devices/pci0000:00/" + usbDevice);
    fs::create_directories(usbDir + "/" + below);
    WriteFile(usbDir + "/idVendor", vendor + "\n");
    WriteFile(usbDir + "/idProduct", product + "\n");
    WriteFile(usbDir + "/dev", usbMajorMinor + "\n");
    AddTty(name, majorMinor, usbDir + "/" + below);
  }
};

// A user of the group database whose primary group is `gid`, or empty.
std::string UserWithPrimaryGroup(gid_t gid) {
  std::string name;
  ::setpwent();
  while (const passwd* entry = ::getpwent())
    if (entry->pw_gid == gid) {
      name = entry->pw_name;
      break;
    }
  ::endpwent();
  return name;
}

std::string NameOfGroup(gid_t gid) {
  const group* entry = ::getgrgid(gid);
  return entry ? entry->gr_name : std::to_string(gid);
}

// Gives the file a group other than root's when the test runs as root (the
// root group has advice of its own). Returns the file's group.
gid_t GiveOrdinaryGroup(const std::string& path) {
  struct stat info {};
  ::stat(path.c_str(), &info);
  if (info.st_gid == 0 && ::geteuid() == 0 && ::chown(path.c_str(), static_cast<uid_t>(-1), 1) == 0) return 1;
  return info.st_gid;
}

}  // namespace

TEST(PortNeighbours, FindsTheProcessesThatHoldTheDeviceUnderAnyName) {
  FakeSystem sys;
  const std::string device = sys.Device("ttyUSB0");
  fs::create_symlink(device, sys.roots.dev + "/tracker");  // another name for the same file
  sys.AddProcess(4321, "minicom", {"/dev/null", device});
  sys.AddProcess(77, "screen", {sys.roots.dev + "/tracker"});
  sys.AddProcess(500, "bash", {sys.Device("ttyACM0"), "socket:[1234]"});
  fs::create_directories(sys.roots.proc + "/self");  // not a process number
  fs::create_directories(sys.roots.proc + "/900");   // a process whose fds cannot be read

  const auto holders = ProcessesHolding(device, sys.roots);
  ASSERT_EQ(holders.size(), 2u);
  EXPECT_EQ(holders[0].pid, 77);
  EXPECT_EQ(holders[0].name, "screen");
  EXPECT_EQ(holders[1].pid, 4321);
  EXPECT_EQ(holders[1].name, "minicom");
  // Asked through the other name, the same holders.
  EXPECT_EQ(ProcessesHolding(sys.roots.dev + "/tracker", sys.roots).size(), 2u);
  EXPECT_TRUE(ProcessesHolding(sys.Device("ttyS0"), sys.roots).empty());

  EXPECT_FALSE(IsModemManagerRunning(sys.roots));
  sys.AddProcess(610, "ModemManagerX", {});
  EXPECT_FALSE(IsModemManagerRunning(sys.roots));
  sys.AddProcess(611, "ModemManager", {});
  EXPECT_TRUE(IsModemManagerRunning(sys.roots));
}

TEST(PortNeighbours, ReadsUsbIdsAndStableNamesFromSysfs) {
  FakeSystem sys;
  const auto adapter = UsbIdOf(sys.Device("ttyUSB0"), sys.roots);
  ASSERT_TRUE(adapter);
  EXPECT_EQ(adapter->vendor, "0403");
  EXPECT_EQ(adapter->product, "6001");
  const auto modem = UsbIdOf(sys.Device("ttyACM0"), sys.roots);
  ASSERT_TRUE(modem);
  EXPECT_EQ(modem->vendor, "1d6b");  // lower case, as udev rules compare them
  EXPECT_EQ(modem->product, "a0f2");
  EXPECT_FALSE(UsbIdOf(sys.Device("ttyS0"), sys.roots));    // a built-in UART
  EXPECT_FALSE(UsbIdOf(sys.Device("nothing"), sys.roots));  // no such device
  EXPECT_FALSE(UsbIdOf("/dev/pts/3", sys.roots));           // a pseudo-terminal

  EXPECT_EQ(StableNameOf(sys.Device("ttyUSB0"), sys.roots),
            sys.roots.dev + "/serial/by-id/usb-FTDI_FT232R_A123-if00-port0");
  EXPECT_EQ(StableNameOf(sys.Device("ttyACM0"), sys.roots), "");
}

TEST(PortNeighbours, ModemManagerProbesUnmarkedUsbPortsOnlyWhileItRuns) {
  FakeSystem sys;
  EXPECT_FALSE(ModemManagerProbes(sys.Device("ttyACM0"), sys.roots));  // not running
  EXPECT_EQ(ModemManagerAdvice(sys.Device("ttyACM0"), sys.roots), "");
  sys.AddProcess(611, "ModemManager", {});
  const auto probed = ModemManagerProbes(sys.Device("ttyACM0"), sys.roots);
  ASSERT_TRUE(probed);
  EXPECT_EQ(probed->vendor, "1d6b");
  EXPECT_FALSE(ModemManagerProbes(sys.Device("ttyS0"), sys.roots));  // not on USB

  const std::string advice = ModemManagerAdvice(sys.Device("ttyACM0"), sys.roots);
  EXPECT_NE(advice.find("ModemManager runs and probes this USB port (device 1d6b:a0f2)"), std::string::npos);
  EXPECT_NE(advice.find(ModemManagerIgnoreRule(*probed)), std::string::npos);
  EXPECT_NE(advice.find(ModemManagerRuleCommand(*probed)), std::string::npos);

  // Marked on the port itself, or on the USB device it belongs to.
  sys.MarkInUdev("166:0", "ID_MM_CANDIDATE=1");
  EXPECT_TRUE(ModemManagerProbes(sys.Device("ttyACM0"), sys.roots));
  sys.MarkInUdev("166:0", "ID_MM_DEVICE_IGNORE=1");
  EXPECT_TRUE(MarkedModemManagerIgnore(sys.Device("ttyACM0"), sys.roots));
  EXPECT_FALSE(ModemManagerProbes(sys.Device("ttyACM0"), sys.roots));
  EXPECT_TRUE(ModemManagerProbes(sys.Device("ttyUSB0"), sys.roots));
  sys.MarkInUdev("189:1", "ID_MM_DEVICE_IGNORE=1");
  EXPECT_FALSE(ModemManagerProbes(sys.Device("ttyUSB0"), sys.roots));
}

TEST(PortNeighbours, TheRuleCommandWritesExactlyTheRuleAndReloadsUdev) {
  const UsbId id{"1d6b", "a0f2"};
  const std::string rule = ModemManagerIgnoreRule(id);
  EXPECT_NE(
      rule.find("\nATTRS{idVendor}==\"1d6b\", ATTRS{idProduct}==\"a0f2\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n"),
      std::string::npos);
  EXPECT_EQ(rule.front(), '#');

  // Run the command with stand-ins for sudo, tee and udevadm that record what
  // they were given.
  TempDir dir;
  fs::create_directories(dir / "bin");
  WriteFile(dir / "bin/sudo", "#!/bin/sh\nexec \"$@\"\n");
  WriteFile(dir / "bin/tee", "#!/bin/sh\necho \"$@\" >> \"$OUT.args\"\ncat >> \"$OUT\"\n");
  WriteFile(dir / "bin/udevadm", "#!/bin/sh\necho \"$@\" >> \"$OUT.udevadm\"\n");
  for (const char* name : {"bin/sudo", "bin/tee", "bin/udevadm"})
    fs::permissions(dir / name, fs::perms::owner_all);
  const std::string command = "PATH='" + (dir / "bin") + "':\"$PATH\" OUT='" + (dir / "out") + "' sh -c " +
                              "'" +
                              std::regex_replace(ModemManagerRuleCommand(id), std::regex("'"), "'\\''") + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  EXPECT_EQ(ReadFile(dir / "out"), rule);
  EXPECT_EQ(ReadFile(dir / "out.args"), std::string("-a ") + kUdevRuleFile + "\n");
  EXPECT_EQ(ReadFile(dir / "out.udevadm"), "control --reload-rules\ntrigger --subsystem-match=tty\n");
}

TEST(PortNeighbours, TheExampleRuleFileHoldsTheSameRule) {
  const std::string text = ReadFile(KESTRUN_SOURCE_DIR "/data/70-rv450-kestrun.rules");
  std::smatch ids;
  ASSERT_TRUE(std::regex_search(
      text, ids, std::regex("ATTRS\\{idVendor\\}==\"(\\w+)\", ATTRS\\{idProduct\\}==\"(\\w+)\"")));
  EXPECT_NE(text.find(ModemManagerIgnoreRule({ids[1], ids[2]})), std::string::npos);
}

TEST(PortNeighbours, PermissionNamesTheGroupTheUsersPlaceInItAndTheCommand) {
  FakeSystem sys;
  const std::string device = sys.Device("ttyUSB0");
  const gid_t gid = GiveOrdinaryGroup(device);
  if (gid == 0) GTEST_SKIP() << "needs a file with a group other than root's";
  const std::string group = NameOfGroup(gid);

  const std::string outside = DescribeOpenFailure(device, EACCES, sys.roots, {"alice-not-a-user", {1234567}});
  EXPECT_EQ(outside.find(device + ": " + SystemReason(EACCES)), 0u) << outside;
  EXPECT_NE(outside.find("belongs to the group '" + group + "', and you are not in it"), std::string::npos)
      << outside;
  EXPECT_NE(outside.find("'sudo usermod -aG " + group + " alice-not-a-user'"), std::string::npos) << outside;

  ::chmod(device.c_str(), 0600);
  const std::string inside = DescribeOpenFailure(device, EACCES, sys.roots, {"alice-not-a-user", {gid}});
  EXPECT_NE(inside.find("You are in the device's group '" + group + "', but its mode 0600"),
            std::string::npos)
      << inside;
  EXPECT_EQ(inside.find("usermod"), std::string::npos);

  // In the group database, but not in this session's groups.
  if (const std::string member = UserWithPrimaryGroup(gid); !member.empty()) {
    const std::string stale = DescribeOpenFailure(device, EACCES, sys.roots, {member, {}});
    EXPECT_NE(stale.find("You were added to it, but this session began before that"), std::string::npos)
        << stale;
  }

  // A link in the ports folder: the device behind it is named too.
  fs::create_symlink(device, sys.dir / "com5");
  const std::string linked = DescribeOpenFailure(sys.dir / "com5", EACCES, sys.roots, {"bob", {}});
  EXPECT_EQ(linked.find(sys.dir / "com5" + " (" + device + "): "), 0u) << linked;
  EXPECT_NE(linked.find("'" + group + "'"), std::string::npos) << linked;
}

TEST(PortNeighbours, BusyNamesTheHoldersAndModemManagerWithItsRule) {
  FakeSystem sys;
  const std::string device = sys.Device("ttyACM0");
  sys.AddProcess(4321, "minicom", {device});
  std::string text = DescribeOpenFailure(device, EBUSY, sys.roots);
  EXPECT_NE(text.find("Another program holds the port: minicom (pid 4321). Close it and try again."),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("ModemManager"), std::string::npos) << text;

  sys.AddProcess(611, "ModemManager", {device});
  text = DescribeOpenFailure(device, EBUSY, sys.roots);
  EXPECT_NE(text.find("ModemManager (pid 611), minicom (pid 4321)"), std::string::npos) << text;
  EXPECT_NE(text.find(ModemManagerIgnoreRule({"1d6b", "a0f2"})), std::string::npos) << text;
  EXPECT_NE(text.find(ModemManagerRuleCommand({"1d6b", "a0f2"})), std::string::npos) << text;

  // Nobody visible holds it: another user's program.
  text = DescribeOpenFailure(sys.Device("ttyS0"), EBUSY, sys.roots);
  EXPECT_NE(text.find("another user"), std::string::npos) << text;
  EXPECT_NE(text.find("sudo fuser -v " + sys.Device("ttyS0")), std::string::npos) << text;
  EXPECT_EQ(text.find("ATTRS"), std::string::npos) << text;  // not on USB: no rule

  // ModemManager runs but holds another port: still named for this USB port.
  FakeSystem other;
  other.AddProcess(611, "ModemManager", {});
  text = DescribeOpenFailure(other.Device("ttyUSB0"), EBUSY, other.roots);
  EXPECT_NE(text.find("ModemManager runs and probes this USB port (device 0403:6001)"), std::string::npos)
      << text;
}

TEST(PortNeighbours, MissingDevicesPointAtTheCable) {
  FakeSystem sys;
  EXPECT_NE(DescribeOpenFailure(sys.Device("ttyUSB9"), ENOENT, sys.roots).find("tracker's cable"),
            std::string::npos);
  EXPECT_EQ(
      DescribeOpenFailure("", ENOENT, sys.roots).find("No serial device is known under this COM number"), 0u);
  EXPECT_EQ(SystemReason(ENOENT), "No such file or directory");
}

TEST(PortNeighbours, InspectsRealPortsByOpeningThem) {
  TempDir dir;
  RawPty pty(dir / "ports", 12);
  DiscoveryPaths paths{dir / "no-sysfs", "/dev", dir / "ports"};
  auto statuses = InspectPorts(paths);
  ASSERT_EQ(statuses.size(), 1u);
  EXPECT_EQ(statuses[0].number, 12);
  EXPECT_EQ(statuses[0].openPath, dir / "ports/com12");
  EXPECT_TRUE(statuses[0].canOpen) << statuses[0].reason;
  EXPECT_EQ(statuses[0].systemError, 0);
  EXPECT_TRUE(statuses[0].reason.empty());
  EXPECT_EQ(DescribePort(statuses[0]), "COM12: " + statuses[0].devicePath + "\nOpens.");

  // Held by a port of this very process: busy, and this process is named.
  CComPort holder({.number = 12, .discovery = paths});
  ASSERT_TRUE(holder.Open()) << holder.openFailureReason();
  statuses = InspectPorts(paths);
  ASSERT_EQ(statuses.size(), 1u);
  EXPECT_FALSE(statuses[0].canOpen);
  EXPECT_EQ(statuses[0].systemError, EBUSY);
  const std::string me = "(pid " + std::to_string(::getpid()) + ")";
  EXPECT_NE(statuses[0].reason.find(me), std::string::npos) << statuses[0].reason;
  EXPECT_NE(DescribePort(statuses[0]).find("Does not open: " + statuses[0].reason), std::string::npos);
  CComPort second({.number = 12, .discovery = paths});
  EXPECT_FALSE(second.Open());
  EXPECT_NE(second.openFailureReason().find(me), std::string::npos) << second.openFailureReason();
  holder.Close();
  EXPECT_EQ(TryOpenDevice(dir / "ports/com12"), 0);
  EXPECT_EQ(TryOpenDevice(dir / "ports/com13"), ENOENT);
}

// The descriptions run on worker threads, several ports at once.
TEST(PortNeighbours, DescriptionsAreTheSameFromManyThreadsAtOnce) {
  FakeSystem sys;
  const std::string device = sys.Device("ttyUSB0");
  GiveOrdinaryGroup(device);
  sys.AddProcess(4321, "minicom", {device});
  const UserAccess user{"alice-not-a-user", {}};
  const std::string permission = DescribeOpenFailure(device, EACCES, sys.roots, user);
  const std::string busy = DescribeOpenFailure(device, EBUSY, sys.roots, user);
  std::atomic<int> differing{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 25; ++i) {
        if (DescribeOpenFailure(device, EACCES, sys.roots, user) != permission) ++differing;
        if (DescribeOpenFailure(device, EBUSY, sys.roots, user) != busy) ++differing;
        if (SystemReason(EIO) != SystemReason(EIO)) ++differing;
      }
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(differing, 0);
}
