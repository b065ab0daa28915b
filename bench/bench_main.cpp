// rv450-bench: Read All and Send All of a fully filled form against the
// simulator answering at once. Prints the wall time of each, the bytes that
// crossed the line, and the time the same bytes need on the wire.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "link/DeviceOperations.h"
#include "link/HeadlessHost.h"
#include "protocol/ControlIds.h"
#include "sim/TrackerSim.h"

using namespace kestrun;
using namespace ctl;

namespace {

void FillForm(CFormValues& v) {
  for (const Binding& b : Bindings()) {
    switch (b.kind) {
      case ValueKind::Text:
        v.Text(b.id) = std::string(static_cast<std::size_t>(b.limit), b.digitsOnly ? '7' : 'x');
        break;
      case ValueKind::Flag: v.Number(b.id) = 1; break;
      case ValueKind::Index:
      case ValueKind::Radio: v.Number(b.id) = 1; break;
      case ValueKind::Address: v.Address(b.id) = {192, 168, 100, 200}; break;
      case ValueKind::Preview: break;
    }
  }
  // Values that pass the range checks and give the longest lines.
  v.Text(BeginTime) = "0000";
  v.Text(EndTime) = "2359";
  v.Text(SendInterval) = "1440";
  v.Text(FixInterval) = "86400";
  v.Text(PositionDelay) = "900";
  v.Text(SriPort) = v.Text(BeiPort) = "65535";
  v.Text(SendNum) = "5";
  v.Number(MobileStart) = 0;
  v.Number(MobileEnd) = 9;
}

struct Figures {
  double seconds;
  long long bytes;
};

template <typename Body>
Figures Measure(sim::CTrackerSim& sim, Body body) {
  const long long before = sim.BytesReceived() + sim.BytesSent();
  const auto start = std::chrono::steady_clock::now();
  std::thread worker(body);
  worker.join();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return {seconds, sim.BytesReceived() + sim.BytesSent() - before};
}

void Print(const char* name, const Figures& f, int baud, const std::string& outcome) {
  const double wire = f.bytes * 10.0 / baud;  // 8N1: ten bits a byte
  std::printf("%-9s %8.2f s wall  %6lld bytes  %7.3f s on the wire at %d baud  (%s)\n", name, f.seconds,
              f.bytes, wire, baud, outcome.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const std::string arg = argc > 1 ? argv[1] : "";
  if (arg == "--help" || arg == "-h") {
    std::printf(
        "Usage: rv450-bench [BAUD]\n\n"
        "Times Send All and Read All of a fully filled form against a simulated\n"
        "RV450 tracker that answers at once, and prints the wall time of each, the\n"
        "bytes that crossed the line and the time the same bytes need on the wire\n"
        "at BAUD (57600, 115200, 230400, 460800 or 921600; default 115200).\n\n"
        "Options:\n"
        "  --version  print the version and exit\n"
        "  --help     print this text and exit\n");
    return 0;
  }
  if (arg == "--version") {
    std::printf("rv450-bench %s\n", KESTRUN_VERSION);
    return 0;
  }
  const int baud = arg.empty() ? 115200 : std::atoi(arg.c_str());
  if (baud != 57600 && baud != 115200 && baud != 230400 && baud != 460800 && baud != 921600) {
    std::fprintf(stderr, "rv450-bench: '%s' is not a baud rate the tracker runs at (see --help)\n",
                 arg.c_str());
    return 2;
  }
  char dirTemplate[] = "/tmp/rv450-bench-XXXXXX";
  const std::string dir = ::mkdtemp(dirTemplate);
  sim::SimOptions options;
  options.portsDir = dir + "/ports";
  options.startAsleep = false;
  sim::CTrackerSim sim(options);
  std::string error;
  if (!sim.Start(error)) {
    std::fprintf(stderr, "rv450-bench: %s\n", error.c_str());
    return 1;
  }
  CComPort port;
  port.discovery.portsDir = options.portsDir;
  port.discovery.sysfsTty = dir + "/none";
  port.portNumber = sim.comNumber();
  port.baudRate = baud;
  CTrafficLog log(dir);
  CFormModel model;
  model.SetPassword("5830");
  model.liveUpdate = true;
  FillForm(model.values);
  CHeadlessHost host(model);
  CDeviceDriver driver(port, model, host, log);

  const Figures send = Measure(sim, [&] { driver.SendAllWorker(); });
  Print("Send All", send, baud, host.statuses.back());
  GroupSelection all;
  all.fill(true);
  const Figures read = Measure(sim, [&] { driver.ReadWorker(all); });
  Print("Read All", read, baud, host.statuses.back());
  std::printf("command lines sent: %zu; the traffic log is in %s/AtLog.log\n", host.history.size(),
              dir.c_str());
  sim.Stop();
  return 0;
}
