// The work folder of a Provisioning window under test (its widgets or its
// model alone), for targets that define KESTRUN_TEST_DATA, with the simulated
// trackers plugged into its ports folder and pulled out while the test runs.
#pragma once

#include <stdlib.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "../support/SimSupport.h"
#include "../support/TestFiles.h"

namespace kestrun::testing {

class CProvisioningFolder {
 public:
  // The journal under its data folder (no shared journal), MainSetting.ini with the fast pacing, the
  // fresh config file as template.ini, and table.csv giving the simulated tracker of each COM number in
  // `coms`, by its IMEI, the APN "apn<COM>.example".
  explicit CProvisioningFolder(const std::vector<int>& coms) {
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    ::unsetenv("RV450_JOURNAL");
    WriteFile(dir / "MainSetting.ini", "[Main]\nGenPassword=5830\nComPort=0\nBaudrate=1\nPacing=fast\n");
    WriteFile(dir / "template.ini", ReadFile(KESTRUN_TEST_DATA "/fresh-config.ini"));
    std::string table = "IMEI,RVSRI/APN\n";
    for (int com : coms) table += sim::SimImei(com) + ",apn" + std::to_string(com) + ".example\n";
    WriteFile(dir / "table.csv", table);
  }
  // The tests after this one keep the data folder the run had.
  ~CProvisioningFolder() {
    if (runData_) ::setenv("XDG_DATA_HOME", runData_->c_str(), 1);
    else ::unsetenv("XDG_DATA_HOME");
  }
  // A tracker plugged into COM `number` (the one there pulled out first), with `fault` on lines
  // starting with `prefix`.
  void Plug(int number, const std::string& prefix = "", sim::Fault fault = sim::Fault::None) {
    sims.erase(number);
    sims[number] = StartSimulator(dir / "ports", number, prefix, fault);
  }
  DiscoveryPaths Ports() const { return OnlyPortsFolder(dir / "ports"); }

  TempDir dir;
  std::map<int, std::unique_ptr<sim::CTrackerSim>> sims;  // by COM number

 private:
  const std::optional<std::string> runData_ =
      std::getenv("XDG_DATA_HOME") ? std::optional<std::string>(std::getenv("XDG_DATA_HOME")) : std::nullopt;
};

}  // namespace kestrun::testing
