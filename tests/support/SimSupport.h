// Starts a simulated tracker registered as COM `number` in `portsDir`, and
// the discovery paths under which the tool finds it (and no real device).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "../support/TestSupport.h"
#include "port/ComPort.h"
#include "port/PortDiscovery.h"
#include "sim/TrackerSim.h"

namespace kestrun::testing {

// A simulated tracker on COM `number`, with `fault` on lines starting with `prefix`.
inline std::unique_ptr<sim::CTrackerSim> StartSimulator(const std::string& portsDir, int number,
                                                        const std::string& prefix = "",
                                                        sim::Fault fault = sim::Fault::None) {
  sim::SimOptions options;
  options.portsDir = portsDir;
  options.comNumber = number;
  auto simulator = std::make_unique<sim::CTrackerSim>(options);
  if (fault != sim::Fault::None) simulator->SetFault(prefix, fault);
  std::string error;
  EXPECT_TRUE(simulator->Start(error)) << error;
  return simulator;
}

inline DiscoveryPaths OnlyPortsFolder(const std::string& portsDir) {
  return {portsDir + "/../no-sysfs", "/dev", portsDir};
}

// The shape of every simulator-backed test: a temporary folder whose ports
// folder holds the simulated tracker as COM `comNumber`, started in SetUp
// (a derived SetUp calls this one first).
class SimulatorTest : public ::testing::Test {
 protected:
  explicit SimulatorTest(int comNumber) : comNumber_(comNumber) {}
  void SetUp() override { sim_ = StartSimulator(PortsDir(), comNumber_); }

  std::string PortsDir() const { return dir / "ports"; }
  DiscoveryPaths Discovery() const { return OnlyPortsFolder(PortsDir()); }
  int ComNumber() const { return comNumber_; }
  // The simulator's port is free when another can open it: whoever used it
  // has closed it.
  bool PortIsFree() const {
    CComPort probe({.number = comNumber_, .discovery = Discovery()});
    return static_cast<bool>(probe.Open());
  }

  TempDir dir;
  std::unique_ptr<sim::CTrackerSim> sim_;

 private:
  int comNumber_;
};

}  // namespace kestrun::testing
