// rv450-bench: Read All and Send All of a fully filled form against the
// simulator. Prints the wall time of each, the bytes that crossed the line,
// the time the same bytes need on the wire, and the number of lines the
// tracker received (exchanges).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "bench/FullForm.h"
#include "link/DeviceEngine.h"
#include "protocol/ControlIds.h"
#include "sim/TrackerSim.h"

using namespace kestrun;
using namespace ctl;

namespace {

constexpr const char* kUsage =
    "Usage: rv450-bench [--pacing specified|fast] [--baud RATE] [--delay MS]\n"
    "\n"
    "Runs Send All, then Read All, of a fully filled form against a simulated\n"
    "tracker and prints wall time, bytes, wire time and exchanges of each.\n"
    "\n"
    "  --pacing P   specified (the tracker's documented waits, default) or fast\n"
    "  --baud RATE  57600, 115200 (default), 230400, 460800 or 921600\n"
    "  --delay MS   the simulator answers each line after MS milliseconds (default 0)\n"
    "  --version    the version\n"
    "  --help       this text\n"
    "\n"
    "Exit status: 0 when both operations succeed, 1 when one fails, 2 on bad usage.\n";

struct Figures {
  double seconds;
  long long bytes;
  std::size_t lines;
  OperationResult result;
};

// Collects nothing: the figures come from the simulator and the result.
class CQuietEvents : public IEngineEvents {};

Figures Measure(sim::CTrackerSim& sim, CDeviceEngine& engine, OperationPlan plan) {
  const long long before = sim.BytesReceived() + sim.BytesSent();
  sim.ClearReceived();
  const auto start = std::chrono::steady_clock::now();
  const OperationResult result = engine.Run(std::move(plan));
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // The simulator reads on its own thread: give it a moment to take the last
  // lines before they are counted (outside the timed part).
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  return {seconds, sim.BytesReceived() + sim.BytesSent() - before, sim.ReceivedLines().size(), result};
}

void Print(const char* name, const Figures& f, int baud) {
  const double wire = f.bytes * 10.0 / baud;  // 8N1: ten bits a byte
  std::printf("%-9s %8.3f s wall  %6lld bytes  %7.3f s on the wire at %d baud  %3zu exchanges  (%s)\n", name,
              f.seconds, f.bytes, wire, baud, f.lines, f.result.ok() ? "success" : f.result.message.c_str());
}

bool ParseInt(const char* text, int& value) {
  char* end = nullptr;
  const long parsed = std::strtol(text, &end, 10);
  if (!text[0] || *end || parsed < 0 || parsed > 10000000) return false;
  value = static_cast<int>(parsed);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int baud = 115200;
  int delayMs = 0;
  CPacing pacing;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--version") {
      std::printf("rv450-bench %s\n", KESTRUN_VERSION);
      return 0;
    }
    bool ok = false;
    if (arg == "--pacing" && hasValue) ok = CPacing::Parse(argv[++i], pacing);
    if (arg == "--baud" && hasValue) ok = ParseInt(argv[++i], baud) && baud > 0;
    if (arg == "--delay" && hasValue) ok = ParseInt(argv[++i], delayMs);
    if (!ok) {
      std::fprintf(stderr, "rv450-bench: bad argument '%s'\n\n%s", arg.c_str(), kUsage);
      return 2;
    }
  }

  char dirTemplate[] = "/tmp/rv450-bench-XXXXXX";
  if (!::mkdtemp(dirTemplate)) {
    std::perror("rv450-bench: mkdtemp");
    return 1;
  }
  const std::string dir = dirTemplate;
  int status = 0;
  {
    sim::SimOptions options;
    options.portsDir = dir + "/ports";
    options.startAsleep = false;
    options.answerDelayMs = delayMs;
    sim::CTrackerSim sim(options);
    std::string error;
    if (!sim.Start(error)) {
      std::fprintf(stderr, "rv450-bench: %s\n", error.c_str());
      status = 1;
    } else {
      OperationPlan plan;
      plan.port.number = sim.comNumber();
      plan.port.baudRate = baud;
      plan.port.discovery.portsDir = options.portsDir;
      plan.port.discovery.sysfsTty = dir + "/none";
      plan.logPath = dir + "/AtLog.log";
      plan.pacing = pacing;
      plan.form.SetPassword("5830");
      plan.form.liveUpdate = true;
      plan.form.values = FullFormValues();
      CQuietEvents events;
      CDeviceEngine engine(events);

      std::printf("pacing %s, simulator answering after %d ms\n", pacing.Name(), delayMs);
      plan.kind = OperationKind::SendAll;
      const Figures send = Measure(sim, engine, plan);
      Print("Send All", send, baud);
      plan.kind = OperationKind::Read;
      plan.selection.fill(true);
      const Figures read = Measure(sim, engine, plan);
      Print("Read All", read, baud);
      status = send.result.ok() && read.result.ok() ? 0 : 1;
      sim.Stop();
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return status;
}
