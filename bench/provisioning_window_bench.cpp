// rv450-provisioning-bench: Provision of many simulated trackers at once in
// the Provisioning window (a template and each tracker's table row), against
// rv450-cli provision of the same. Each run
// starts fresh simulators answering late, ticks every row, presses Provision
// and waits for the last row; a 10 ms timer on the window thread measures the
// longest gap between its ticks (how long the window stood still). Then
// rv450-cli does the same command to fresh simulators. Prints the medians.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench/FullForm.h"
#include "bench/Median.h"
#include "bench/SimBench.h"
#include "cli/Cli.h"
#include "cmdline/OptionTable.h"
#include "cmdline/WholeNumber.h"
#include "settings/ConfigFile.h"
#include "sim/TrackerSim.h"
#include "ui/ProvisioningWindow.h"

using namespace kestrun;

namespace {

struct Settings {
  int runs = 5;
  int trackers = 16;
  int delayMs = 50;
  std::string pacing = "fast";
  bool help = false;
};

class CBench {
 public:
  CBench(const Settings& s, std::string dir) : s_(s), dir_(std::move(dir)) {}

  std::string Template() const { return dir_ + "/fleet.ini"; }
  std::string Table() const { return dir_ + "/fleet.csv"; }

  // Fresh simulators as COM 100 and up; false when one did not start.
  bool StartTrackers() {
    std::string ports;
    return StartSimBench("rv450-provisioning-bench", Ports(), s_.trackers, s_.delayMs, sims_, ports);
  }

  // Provision in the window: seconds, and the longest gap of the 10 ms timer.
  bool RunWindow(double& seconds, double& longestGapMs) {
    if (!StartTrackers()) return false;
    CProvisioningWindow window(Discovery(), dir_);
    window.chooseFolder = [] { return QString(); };
    QAbstractItemModel* rows = window.rowsView()->model();
    for (int r = 0; r < rows->rowCount(); ++r)
      rows->setData(rows->index(r, CProvisioningTable::Com), Qt::Checked, Qt::CheckStateRole);
    window.templateEdit()->setText(QString::fromStdString(Template()));
    window.tableEdit()->setText(QString::fromStdString(Table()));
    window.show();
    // The window's first paint is not part of the batch.
    QApplication::processEvents();
    QApplication::processEvents();
    QEventLoop loop;
    QObject::connect(&window, &CProvisioningWindow::busyChanged, &loop, [&](bool busy) {
      if (!busy) loop.quit();
    });
    QElapsedTimer tick;
    qint64 longest = 0;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
      longest = std::max(longest, tick.nsecsElapsed());
      tick.restart();
    });
    const auto start = std::chrono::steady_clock::now();
    tick.start();
    timer.start();
    if (!window.Run(ProvisioningAction::Provision)) {
      std::fprintf(stderr, "rv450-provisioning-bench: the window refused: %s\n",
                   window.messageLabel()->text().toStdString().c_str());
      return false;
    }
    loop.exec();
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    timer.stop();
    longestGapMs = static_cast<double>(longest) / 1e6;
    for (const ProvisioningRow& row : window.model().rows())
      if (row.state != RowState::Done) {
        std::fprintf(stderr, "rv450-provisioning-bench: COM%d: %s %s\n", row.port, row.stateText.c_str(),
                     row.result.c_str());
        return false;
      }
    return true;
  }

  // The command line's provision of the same trackers.
  bool RunCli(double& seconds) {
    if (!StartTrackers()) return false;
    std::string ports;
    for (const auto& sim : sims_) ports += (ports.empty() ? "" : ",") + std::to_string(sim->comNumber());
    cli::Environment env;
    env.discovery = Discovery();
    env.workDir = dir_;
    env.journalPath = dir_ + "/journal.sqlite";
    std::ostringstream out, err;
    const auto start = std::chrono::steady_clock::now();
    const int status =
        cli::RunCli({kCliCommand, Template(), "--table", Table(), "--port", ports, "--quiet"}, out, err, env);
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (status != 0)
      std::fprintf(stderr, "rv450-provisioning-bench: rv450-cli failed (%d):\n%s%s", status,
                   out.str().c_str(), err.str().c_str());
    return status == 0;
  }

  // What Provision runs on the command line.
  static constexpr const char* kCliCommand = "provision";

 private:
  std::string Ports() const { return dir_ + "/ports"; }
  DiscoveryPaths Discovery() const { return {dir_ + "/no-sysfs", "/dev", Ports()}; }

  const Settings& s_;
  const std::string dir_;
  std::vector<std::unique_ptr<sim::CTrackerSim>> sims_;
};

COptionTable OptionTable(Settings& s) {
  auto bad = [](const std::string& name, const std::string& value, std::string& error) {
    error = "bad " + name + " '" + value + "'";
    return false;
  };
  return COptionTable({
      {"--runs", "N", "runs of each, the median is shown (default 5)",
       [&s, bad](const std::string& v, std::string& e) {
         return ParseWholeNumber(v, 1, 1000, s.runs) || bad("--runs", v, e);
       }},
      {"--trackers", "N", "simulated trackers at once (default 16)",
       [&s, bad](const std::string& v, std::string& e) {
         return ParseWholeNumber(v, 1, 64, s.trackers) || bad("--trackers", v, e);
       }},
      {"--delay", "MS", "each simulator answers each line after MS milliseconds (default 50)",
       [&s, bad](const std::string& v, std::string& e) {
         return ParseWholeNumber(v, 0, 100000, s.delayMs) || bad("--delay", v, e);
       }},
      {"--pacing", "P", "specified or fast (default fast), as Main Setting keeps it",
       [&s, bad](const std::string& v, std::string& e) {
         CPacing pacing;
         if (!CPacing::Parse(v, pacing)) return bad("--pacing", v, e);
         s.pacing = pacing.Name();
         return true;
       }},
      {"-h,--help", "", "this text", [&s](const std::string&, std::string&) { return s.help = true; }},
  });
}

}  // namespace

int main(int argc, char** argv) {
  Settings s;
  std::string error;
  OptionTable(s).ParseWithoutOperands(argc, argv, error);
  if (!error.empty() || s.help) {
    if (!error.empty()) std::fprintf(stderr, "rv450-provisioning-bench: %s\n\n", error.c_str());
    std::fprintf(error.empty() ? stdout : stderr,
                 "Usage: rv450-provisioning-bench [--runs N] [--trackers N] [--delay MS] [--pacing P]\n\n"
                 "Provision of simulated trackers in the Provisioning window against rv450-cli %s\n"
                 "of the same trackers; prints the median times and the window thread's longest stall.\n\n"
                 "Options:\n%s",
                 CBench::kCliCommand, OptionTable(s).Help().c_str());
    return error.empty() ? 0 : 2;
  }
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  char dirTemplate[] = "/tmp/rv450-provisioning-bench-XXXXXX";
  if (!::mkdtemp(dirTemplate)) return 1;
  const std::string dir = dirTemplate;
  ::setenv("XDG_DATA_HOME", (dir + "/data").c_str(), 1);
  ::unsetenv("RV450_JOURNAL");
  QApplication app(argc, argv);
  {
    CIniFile file(dir + "/fleet.ini");
    WriteConfigFile(file, FullFormValues(), "");
    // Each tracker's own row: its IMEI and an APN of its own.
    std::ofstream table(dir + "/fleet.csv");
    table << "IMEI,RVSRI/APN\n";
    for (int i = 0; i < s.trackers; ++i) table << sim::SimImei(100 + i) << ",fleet" << i << "\n";
    std::ofstream(dir + "/MainSetting.ini")
        << "[Main]\nGenPassword=5830\nComPort=0\nBaudrate=1\nPacing=" << s.pacing << "\n";
  }

  CBench bench(s, dir);
  std::vector<double> window, gaps, command;
  int status = 0;
  for (int r = 0; r < s.runs && status == 0; ++r) {
    double seconds = 0, gap = 0, cliSeconds = 0;
    if (!bench.RunWindow(seconds, gap) || !bench.RunCli(cliSeconds)) {
      status = 1;
      break;
    }
    window.push_back(seconds);
    gaps.push_back(gap);
    command.push_back(cliSeconds);
    std::printf("run %d: window %.3f s (longest stall %.1f ms), rv450-cli %.3f s\n", r + 1, seconds, gap,
                cliSeconds);
    std::fflush(stdout);
  }
  if (status == 0) {
    const double w = Median(window), c = Median(command);
    std::printf("\n| %d trackers, answers %d ms late, %s pacing | median of %d |\n|---|---|\n", s.trackers,
                s.delayMs, s.pacing.c_str(), s.runs);
    std::printf("| Provision in the Provisioning window | %.3f s |\n", w);
    std::printf("| rv450-cli %s | %.3f s |\n", CBench::kCliCommand, c);
    std::printf("| window / command line | %.2f x (target at most 1.20 x) |\n", w / c);
    std::printf(
        "| longest stall of the window thread (10 ms timer) | median %.1f ms, worst %.1f ms (target at most "
        "50 ms) |\n",
        Median(gaps), *std::max_element(gaps.begin(), gaps.end()));
  }
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return status;
}
