// Starts a simulated tracker registered as COM `number` in `portsDir`, and
// the discovery paths under which the tool finds it (and no real device).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "link/PortDiscovery.h"
#include "sim/TrackerSim.h"

namespace kestrun::testing {

inline std::unique_ptr<sim::CTrackerSim> StartSimulator(const std::string& portsDir, int number) {
  sim::SimOptions options;
  options.portsDir = portsDir;
  options.comNumber = number;
  auto simulator = std::make_unique<sim::CTrackerSim>(options);
  std::string error;
  EXPECT_TRUE(simulator->Start(error)) << error;
  return simulator;
}

inline DiscoveryPaths OnlyPortsFolder(const std::string& portsDir) {
  return {portsDir + "/../no-sysfs", "/dev", portsDir};
}

}  // namespace kestrun::testing
