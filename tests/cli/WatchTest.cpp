// provision --watch in-process against simulated trackers plugged in while
// it runs (the comings and goings, the silence towards a finished tracker and
// the skip of a done one are the station's test): ports absent at start, one
// line per tracker, the next tracker on a line of input, and the closing
// status and report whether the input ends or Ctrl+C comes.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <map>
#include <thread>

#include "CliFixture.h"
#include "CliSupport.h"

using namespace kestrun;
using namespace kestrun::testing;
using namespace std::chrono_literals;

namespace {

// The watches' standard inputs: each reads a pipe the test types into, and
// is left alive (a reader still waiting at Ctrl+C returns only at the end of
// the process), held by a plain global that is never destroyed, so that the
// leak check sees it as reachable.
std::istream* gKeptInputs[3];

class WatchTest : public CCliFixture {};

}  // namespace

TEST_F(WatchTest, ProvisionWatchRunsTrackersAsTheyComeUntilItsInputEndsOrCtrlC) {
  ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
  WriteConfig(dir / "fleet.ini", FullValues());
  std::ofstream(dir / "table.csv") << "IMEI,RVKPN/PhoneName1\n"
                                   << sim::SimImei(91) << ",Van 91\n"
                                   << sim::SimImei(92) << ",Van 92\n";
  // The jobs ended on COM91 and COM92 (the port is finished), as the watch tells its ports' states.
  std::atomic<int> ended[2];
  env.onStatus = [&](int port, const std::string& text) { ended[port - 91] += text == "finished"; };
  const auto waitEnded = [&](int port, int count) {
    for (int i = 0; i < 12000 && ended[port - 91] < count; ++i) std::this_thread::sleep_for(10ms);
    return ended[port - 91] >= count;
  };
  std::map<int, std::unique_ptr<sim::CTrackerSim>> sims;
  const struct {
    const char* name;
    bool ctrlC;
    bool emptyInput;  // standard input ends before its first line: no Next, the watch waits for Ctrl+C
  } endings[] = {{"the input ends", false, false}, {"Ctrl+C", true, false}, {"no input", true, true}};
  for (std::size_t e = 0; e < std::size(endings); ++e) {
    const auto& ending = endings[e];
    SCOPED_TRACE(ending.name);
    sims.clear();
    ended[0] = ended[1] = 0;
    cli::CStopSource stop;
    env.stop = &stop;
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    env.input = gKeptInputs[e] = new std::ifstream("/dev/fd/" + std::to_string(pipe[0]));
    ::close(pipe[0]);
    const std::string report = dir / (std::to_string(e) + ".csv");
    Result r{};
    std::thread run([&] {
      r = RunRaw({"provision", dir / "fleet.ini", "--table", dir / "table.csv", "-p", "91,92", "--watch",
                  "--pacing", "fast", "--journal", dir / (std::to_string(e) + ".sqlite"), "--report",
                  report});
    });
    if (ending.emptyInput) ::close(pipe[1]);
    // Both ports absent at start: each tracker starts when it is plugged in.
    for (int port : {91, 92}) {
      sims[port] = StartSimulator(dir / "ports", port);
      ASSERT_TRUE(waitEnded(port, 1));
    }
    if (!ending.emptyInput) {
      EXPECT_EQ(::write(pipe[1], "\n", 1), 1);  // the next tracker on both ports: done ones are skipped
      for (int port : {91, 92}) ASSERT_TRUE(waitEnded(port, 2));
    }
    if (ending.ctrlC)
      stop.Request();
    else
      ::close(pipe[1]);
    run.join();
    if (ending.ctrlC && !ending.emptyInput) ::close(pipe[1]);
    // All done: status 0, and the Ctrl+C that ends the watch is no failure.
    EXPECT_EQ(r.code, 0) << r.err;
    // A line per tracker, and the closing table.
    for (const std::string port : {"COM91", "COM92"}) {
      EXPECT_NE(r.err.find("rv450-cli: " + port + " provision: "), std::string::npos) << r.err;
      EXPECT_NE(r.out.find(port), std::string::npos) << r.out;
    }
    // The header and a row per job: two trackers, each twice where a line asked for the next.
    const std::string text = ReadFile(report);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), ending.emptyInput ? 3 : 5) << text;
    EXPECT_EQ(r.err.find("standard input is empty: the watch runs until Ctrl+C") != std::string::npos,
              ending.emptyInput)
        << r.err;
  }
}
