// The in-process rv450-cli tests' fixture: a folder of their own, whose
// ports/ holds the simulators' links and dev/ the devices' neighbours.
#pragma once

#include <gtest/gtest.h>

#include <sstream>

#include "../support/SimSupport.h"
#include "cli/Cli.h"

namespace kestrun::testing {

struct Result {
  int code;
  std::string out;
  std::string err;
};

class CCliFixture : public ::testing::Test {
 protected:
  CCliFixture() {
    env.discovery = OnlyPortsFolder(dir / "ports");
    env.roots.dev = dir / "dev";
    env.workDir = dir.path();
  }
  // Runs the command line exactly as given.
  Result RunRaw(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int code = cli::RunCli(args, out, err, env);
    return {code, out.str(), err.str()};
  }

  TempDir dir;
  cli::Environment env;
};

}  // namespace kestrun::testing
