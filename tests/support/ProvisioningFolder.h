// The work folder of a Provisioning window under test (its widgets or its
// model alone), for targets that define KESTRUN_TEST_DATA.
#pragma once

#include <stdlib.h>

#include <string>
#include <vector>

#include "../support/TestFiles.h"
#include "sim/TrackerSim.h"

namespace kestrun::testing {

// Sets `dir` up as the window's work folder: the journal under its data
// folder (no shared journal), MainSetting.ini with the fast pacing, the fresh
// config file as template.ini, and table.csv giving the simulated tracker of
// each COM number in `coms`, by its IMEI, the APN "apn<COM>.example".
inline void ProvisioningFolder(const TempDir& dir, const std::vector<int>& coms) {
  ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
  ::unsetenv("RV450_JOURNAL");
  WriteFile(dir / "MainSetting.ini", "[Main]\nGenPassword=5830\nComPort=0\nBaudrate=1\nPacing=fast\n");
  WriteFile(dir / "template.ini", ReadFile(KESTRUN_TEST_DATA "/fresh-config.ini"));
  std::string table = "IMEI,RVSRI/APN\n";
  for (int com : coms) table += sim::SimImei(com) + ",apn" + std::to_string(com) + ".example\n";
  WriteFile(dir / "table.csv", table);
}

}  // namespace kestrun::testing
