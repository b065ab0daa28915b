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
#include <vector>

#include "bench/FullForm.h"
#include "cmdline/OptionTable.h"
#include "cmdline/WholeNumber.h"
#include "engine/DeviceEngine.h"
#include "protocol/ControlIds.h"
#include "settings/Connection.h"
#include "sim/TrackerSim.h"

using namespace kestrun;
using namespace ctl;

namespace {

struct Settings {
  Connection connection;
  int delayMs = 0;
  bool help = false;
  bool version = false;
};

COptionTable OptionTable(Settings& s) {
  return COptionTable({
      {"--pacing", "P", "specified (the tracker's documented waits, default) or fast",
       [&s](const std::string& value, std::string& error) {
         if (!CPacing::Parse(value, s.connection.pacing)) error = "bad --pacing '" + value + "'";
         return error.empty();
       }},
      {"--baud", "RATE", BaudListText(" or ") + " (default " + std::to_string(kDefaultBaudRate) + ")",
       [&s](const std::string& value, std::string& error) {
         if (!ParseBaudRate(value, s.connection.baudRate)) error = "bad --baud '" + value + "'";
         return error.empty();
       }},
      {"--delay", "MS", "the simulator answers each line after MS milliseconds (default 0)",
       [&s](const std::string& value, std::string& error) {
         if (!ParseWholeNumber(value, 0, 10000000, s.delayMs)) error = "bad --delay '" + value + "'";
         return error.empty();
       }},
      {"--version", "", "the version", [&s](const std::string&, std::string&) { return s.version = true; }},
      {"-h,--help", "", "this text", [&s](const std::string&, std::string&) { return s.help = true; }},
  });
}

std::string Usage() {
  Settings unused;
  return "Usage: rv450-bench [--pacing specified|fast] [--baud RATE] [--delay MS]\n"
         "\n"
         "Runs Send All, then Read All, of a fully filled form against a simulated\n"
         "tracker and prints wall time, bytes, wire time and exchanges of each.\n"
         "\n"
         "Options:\n" +
         OptionTable(unused).Help() +
         "\n"
         "Exit status: 0 when both operations succeed, 1 when one fails, 2 on bad usage.\n";
}

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

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  std::string error;
  OptionTable(settings).ParseWithoutOperands(argc, argv, error);
  if (!error.empty()) {
    std::fprintf(stderr, "rv450-bench: %s\n\n%s", error.c_str(), Usage().c_str());
    return 2;
  }
  if (settings.help) {
    std::fputs(Usage().c_str(), stdout);
    return 0;
  }
  if (settings.version) {
    std::printf("rv450-bench %s\n", KESTRUN_VERSION);
    return 0;
  }
  Connection& connection = settings.connection;
  const int baud = connection.baudRate;
  const int delayMs = settings.delayMs;
  const CPacing pacing = connection.pacing;

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
      connection.port = sim.comNumber();
      connection.discovery.portsDir = options.portsDir;
      connection.discovery.sysfsTty = dir + "/none";
      connection.logPath = dir + "/AtLog.log";
      OperationPlan plan;
      plan.SetConnection(connection.Port(), connection.logPath, connection.pacing);
      plan.form.SetPassword(connection.password);
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
