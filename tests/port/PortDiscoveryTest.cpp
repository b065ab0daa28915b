#include <gtest/gtest.h>

#include "../support/TestSupport.h"
#include "port/PortDiscovery.h"

using namespace kestrun;
using namespace kestrun::testing;
namespace fs = std::filesystem;

namespace {

void FakeTty(const TempDir& dir, const std::string& name, const char* type = nullptr, bool device = true) {
  fs::create_directories(dir / ("sys/" + name));
  if (device) fs::create_directories(dir / ("sys/" + name + "/device"));
  if (type) WriteFile(dir / ("sys/" + name + "/type"), type);
}

}  // namespace

TEST(PortDiscovery, NumbersDevicesAndUserLinksInAscendingOrder) {
  TempDir dir;
  FakeTty(dir, "ttyS0", "4");
  FakeTty(dir, "ttyS1", "0");  // an 8250 port with no UART
  FakeTty(dir, "ttyS2", "4");
  FakeTty(dir, "ttyUSB0");
  FakeTty(dir, "ttyACM1");
  FakeTty(dir, "tty5");
  FakeTty(dir, "ttyS9", "4", false);  // no device behind it
  fs::create_directories(dir / "ports");
  fs::create_symlink("/dev/pts/7", dir / "ports/com10");
  fs::create_symlink("/dev/pts/8", dir / "ports/com3");  // overrides ttyS2
  WriteFile(dir / "ports/com11", "not a link");

  DiscoveryPaths paths{dir / "sys", "/dev", dir / "ports"};
  const auto ports = DiscoverPorts(paths);
  std::vector<int> numbers;
  for (const auto& p : ports) numbers.push_back(p.number);
  EXPECT_EQ(numbers, (std::vector<int>{1, 3, 10, 33, 66}));
  EXPECT_EQ(ports[0].devicePath, "/dev/ttyS0");
  EXPECT_EQ(ports[1].devicePath, "/dev/pts/8");
  EXPECT_EQ(ports[1].openPath, dir / "ports/com3");
  EXPECT_EQ(ports[3].devicePath, "/dev/ttyUSB0");
  EXPECT_EQ(OpenPathForPort(66, paths), "/dev/ttyACM1");
  EXPECT_EQ(OpenPathForPort(2, paths), "");

  int list[kMaxPorts];
  int count = 0;
  EnumComPorts(list, count, paths);
  EXPECT_EQ(count, 5);
  EXPECT_EQ(list[2], 10);
}

TEST(PortDiscovery, KeepsAtMost64Ports) {
  TempDir dir;
  fs::create_directories(dir / "ports");
  for (int n = 1; n <= 70; ++n) fs::create_symlink("/dev/null", dir / ("ports/com" + std::to_string(n)));
  const auto ports = DiscoverPorts({dir / "none", "/dev", dir / "ports"});
  ASSERT_EQ(ports.size(), 64u);
  EXPECT_EQ(ports.back().number, 64);
}

TEST(PortDiscovery, PortsFolderFollowsXdgConfigHome) {
  const char* old = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = old ? old : "";
  ::setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1);
  EXPECT_EQ(DefaultPortsDir(), "/tmp/cfg/rv450-kestrun/ports");
  if (old)
    ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else
    ::unsetenv("XDG_CONFIG_HOME");
}
