#include "cli/Cli.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>

#include "batch/ConfigCheck.h"
#include "batch/PortJob.h"
#include "batch/PrepareBatch.h"
#include "batch/Provision.h"
#include "batch/ProvisionPlan.h"
#include "cli/Args.h"
#include "cli/BatchReport.h"
#include "cli/JournalCommand.h"
#include "cli/LabelsCommand.h"
#include "cli/PasswordSource.h"
#include "cli/PortList.h"
#include "cli/Progress.h"
#include "cli/RetryLine.h"
#include "cli/WatchCommand.h"
#include "engine/TrafficLog.h"
#include "journal/JournalStore.h"
#include "journal/ServerString.h"
#include "port/PathLinks.h"
#include "port/Platform.h"
#include "port/Utf8Path.h"
#include "protocol/ControlChars.h"
#include "protocol/PasswordRule.h"
#include "protocol/WholeNumber.h"
#include "settings/Connection.h"
#include "settings/MainSettings.h"
#include "settings/SafeFile.h"

#ifndef KESTRUN_VERSION
#define KESTRUN_VERSION "0"
#endif

namespace kestrun::cli {

using namespace kestrun::batch;

namespace fs = std::filesystem;

namespace {

struct Target {
  int port;
  std::string device;
};

struct Connections {
  std::vector<Target> targets;
  Connection connection;  // every target's, each with its own port and log
};

// Every message names what the user gave (a file, a port, an option), so its
// control bytes are shown escaped, never sent to the terminal as they are,
// and a password it may quote (a server string) is masked.
int Fail(std::ostream& err, const std::string& message) {
  err << "rv450-cli: " << EscapeControlBytes(journal::MaskSecrets(message)) << "\n";
  return kExitUsage;
}

std::string KnownPorts(const std::vector<PortEntry>& ports) {
  if (ports.empty()) return "no serial ports were found";
  std::string text = "the ports are:";
  for (const PortEntry& p : ports) text += " COM" + std::to_string(p.number) + " (" + p.devicePath + ")";
  return text;
}

// The device password from the first source that gives one: the command
// line (--password, --password-file, --password -), RV450_PASSWORD, the
// settings file, the default. Each one goes through the same check.
bool ResolvePassword(const Options& o, const Environment& env, const CMainSettings* settings,
                     std::ostream& err, std::string& password, std::string& error) {
  std::string source;
  if (o.password) {
    err << "rv450-cli: warning: other users can see a --password value (ps); "
           "use --password-file FILE, --password - or RV450_PASSWORD\n";
    password = *o.password;
    source = "--password";
  } else if (o.passwordFile) {
    if (!ReadPasswordFile(*o.passwordFile, password, error)) return false;
    source = "--password-file " + *o.passwordFile;
  } else if (o.askPassword) {
    std::istringstream nothing;
    if (!AskPassword(env.input ? *env.input : nothing, env.inputIsTerminal, err, env.stop, password, error))
      return false;
    source = "--password -";
  } else if (env.passwordVariable && !env.passwordVariable->empty()) {
    password = *env.passwordVariable;
    source = "RV450_PASSWORD";
  } else if (settings) {
    password = settings->password;
    source = settings->file.path;
  } else {
    password = kDefaultPassword;
    return true;
  }
  // An empty password would go out as the first field of every line, which
  // no tracker takes; it is a mistake in the source, said before any port.
  const std::string fault = password.empty() ? "is empty" : PasswordFault(password);
  if (!fault.empty()) {
    error = "the password from " + source + " " + fault;
    if (settings && source == settings->file.path)
      error += "; give one with --password-file FILE, --password - or RV450_PASSWORD";
    return false;
  }
  return true;
}

// A list position the command line takes from the file must be one: a
// damaged file would otherwise pick the first port or 115200 without a word.
bool CheckStoredPositions(const Options& o, const CIniText& stored, const std::string& settingsPath,
                          std::string& error) {
  const struct {
    const char* key;
    bool used;
    int last;
    const char* instead;
  } positions[] = {{"ComPort", o.ports.empty() && o.portPaths.empty(), 9999, "--port N"},
                   {"Baudrate", !o.baudRate, 4, "--baud RATE"}};
  for (const auto& p : positions) {
    std::string value;
    if (!p.used || !stored.Find("Main", p.key, value)) continue;
    if (!IsInteger(value) || !ParseWholeWithin(value, 0, p.last)) {
      error =
          settingsPath + ": [Main] " + p.key + " = '" + value + "' is not a list position; use " + p.instead;
      return false;
    }
  }
  return true;
}

// The path `path` leads to, links followed as far as they exist (UTF-8).
std::string CanonicalPath(const std::string& path) {
  std::error_code ec;
  return Utf8OfPath(fs::weakly_canonical(PathFromUtf8(path), ec));
}

// A device path or a stable name is the port whose device it leads to.
bool AddPortsOfPaths(const std::vector<std::string>& portPaths, const std::vector<PortEntry>& known,
                     std::vector<int>& numbers, std::string& error) {
  for (const std::string& path : portPaths) {
    const std::string wanted = CanonicalPath(path);
    const auto found = std::find_if(known.begin(), known.end(), [&](const PortEntry& p) {
      return CanonicalPath(p.devicePath) == wanted || CanonicalPath(p.openPath) == wanted;
    });
    if (found == known.end()) {
      error = path + " is no port with a COM number (" + wanted + "); " + KnownPorts(known);
      return false;
    }
    if (std::find(numbers.begin(), numbers.end(), found->number) != numbers.end()) {
      error = path + " is COM" + std::to_string(found->number) + ", which is given twice";
      return false;
    }
    numbers.push_back(found->number);
  }
  return true;
}

// A stored position names another port once the list has changed: a
// command that writes to a tracker takes the port only by its number.
bool AddStoredPort(const Options& o, const CMainSettings& settings, const std::vector<PortEntry>& known,
                   std::vector<int>& numbers, std::string& error) {
  const std::string& settingsPath = settings.file.path;
  const PortChoice choice = ChoosePort(settings, known);
  const bool writes =
      o.command == Command::Write || o.command == Command::Verify || o.command == Command::Provision;
  if (writes && !choice.byNumber) {
    error = settingsPath + ": " +
            (settings.comNumber > 0
                 ? "ComPortNumber " + std::to_string(settings.comNumber) + " is not a known port"
                 : std::string("no ComPortNumber")) +
            "; a list position alone is not enough to write to a tracker; use --port N";
    return false;
  }
  if (choice.position < 0) {
    error = settingsPath + ": ComPort " + std::to_string(settings.comIndex) + " designates no port; " +
            KnownPorts(known) + "; use --port N";
    return false;
  }
  numbers.push_back(known[static_cast<std::size_t>(choice.position)].number);
  return true;
}

// Port, baud rate, password and pacing: from the options, else from
// MainSetting.ini in the working folder when it exists, else the defaults.
bool ResolveConnection(const Options& o, const Environment& env, std::ostream& err, Connections& c,
                       std::string& error) {
  const std::vector<PortEntry> known = DiscoverPorts(env.discovery);
  std::error_code ec;
  const std::string dir = env.workDir.empty() ? CurrentFolder() : env.workDir;
  const std::string settingsPath = BuildMainSettingPath(dir);
  struct stat st {};
  const bool haveSettings = StatPath(settingsPath, st) == 0 && S_ISREG(st.st_mode);
  CMainSettings settings;
  settings.file.path = settingsPath;
  CIniText stored;
  if (haveSettings) settings.Load(stored);
  if (!CheckStoredPositions(o, stored, settingsPath, error)) return false;

  std::vector<int> numbers = o.ports;
  if (!AddPortsOfPaths(o.portPaths, known, numbers, error)) return false;
  if (numbers.empty()) {
    if (!haveSettings) {
      error = "no port given: use --port N (see 'rv450-cli ports'), or run where MainSetting.ini is";
      return false;
    }
    if (!AddStoredPort(o, settings, known, numbers, error)) return false;
  }
  for (int number : numbers) {
    const auto found =
        std::find_if(known.begin(), known.end(), [&](const PortEntry& p) { return p.number == number; });
    if (found == known.end() && o.watch) {  // --watch waits for it
      c.targets.push_back({number, ""});
      continue;
    }
    if (found == known.end()) {
      error = "COM" + std::to_string(number) + " is not a known port; " + KnownPorts(known);
      return false;
    }
    // Two numbers for one device (a user link to a numbered port) would fight over it.
    for (const Target& t : c.targets) {
      const std::string a = CanonicalPath(found->openPath);
      const std::string b = CanonicalPath(OpenPathForPort(t.port, env.discovery));
      if (a == b) {
        error = "COM" + std::to_string(t.port) + " and COM" + std::to_string(number) +
                " are the same device (" + a + ")";
        return false;
      }
    }
    c.targets.push_back({number, found->devicePath});
  }
  // The baud rate and pacing as the window reads them; the options win.
  if (haveSettings) c.connection = ConnectionFromSettings(settings, known);
  ApplyOptions({o.baudRate, o.pacing}, c.connection);
  c.connection.discovery = env.discovery;
  return ResolvePassword(o, env, haveSettings ? &settings : nullptr, err, c.connection.password, error);
}

// Read replaces the file only after the tracker answered, so everything a
// replace checks is checked now, before any port is touched: a folder that
// exists and takes files, no folder or other odd thing under the name, and
// what the replace itself refuses (a read-only folder, a hard-linked file, a
// link planted in a shared folder).
bool CheckOutputFile(const std::string& file, std::string& error) {
  std::error_code ec;
  const fs::path path = PathFromUtf8(file);
  const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
  if (!fs::is_directory(dir, ec)) {
    error = file + ": the folder " + Utf8OfPath(dir) + " does not exist";
    return false;
  }
  if (fs::exists(path, ec)) {
    const char* why =
        !fs::is_regular_file(path, ec)
            ? (fs::is_directory(path, ec) ? "it is a folder" : "it is not a regular file")
        : (fs::status(path, ec).permissions() &
           (fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write)) == fs::perms::none
            ? "it is read-only"
        : WriteAccessError(file, false) != 0 ? "no permission to write it"
                                             : nullptr;
    if (why) {
      error = file + ": exists and cannot be replaced (" + why + ")";
      return false;
    }
  }
  if (const FileResult replaceable = CheckSettingsFileReplaceable(file); !replaceable) {
    error = replaceable.Message();
    return false;
  }
  return true;
}

// Makes the log folder and any missing folder above it private to the user
// (the log holds the device password); folders that exist keep their mode.
bool PrepareLogDir(const std::string& dir, std::string& error) {
  fs::path made;
  for (const fs::path& part : PathFromUtf8(dir)) {
    made /= part;
    if (const int failed = MakePrivateFolder(Utf8OfPath(made)); failed != 0 && failed != EEXIST) break;
  }
  if (WritableFolderError(dir) != 0) {
    error = "--log-dir " + dir + ": not a writable folder";
    return false;
  }
  return true;
}

// The traffic logs asked for must be usable before any port is touched.
// Checking one creates it, so the links on every log's path are checked
// first, and a log this check created is removed again when a later one
// fails: a refused run leaves no file behind.
bool CheckLogFiles(const std::vector<std::string>& logs, std::string& error) {
  for (const std::string& log : logs) {
    if (log.empty()) continue;
    if (const ResolvedPath resolved = ResolvePathLinks(log); !resolved.ok) {
      error = "traffic log " + log + ": " + resolved.step + ": " + resolved.reason;
      return false;
    }
  }
  std::vector<std::string> created;
  for (const std::string& log : logs) {
    if (log.empty()) continue;
    const ResolvedPath resolved = ResolvePathLinks(log);
    std::error_code ec;
    const bool existed = !resolved.ok || fs::exists(fs::symlink_status(PathFromUtf8(resolved.path), ec));
    if (const std::string why = CheckTrafficLog(log); !why.empty()) {
      error = "traffic log " + why;
      for (const std::string& path : created) RemoveFile(path);
      return false;
    }
    if (!existed) created.push_back(resolved.path);
  }
  return true;
}

// A run refused before any port: its problems one a line, then its message.
int Refuse(std::ostream& err, const Refusal& r, std::string& refusal) {
  for (const std::string& p : r.problems) err << "rv450-cli: " << EscapeControlBytes(p) << "\n";
  refusal = r.message;
  return Fail(err, r.message);
}

// The plan of every port: the template and table of provision, or the file
// the command sends or compares, checked; an exit status when they are bad.
int PreparePlan(const Options& o, const Environment& env, const Connections& c, JobPlan& plan,
                std::ostream& err, std::string& refusal) {
  plan.command = o.command;
  plan.file = o.file;
  plan.connection = c.connection;
  plan.onStatus = env.onStatus;
  plan.identify = !o.noIdentify;
  if (o.command == Command::Read && c.targets.size() > 1) plan.outputBase = o.outputFile;
  Refusal r;
  if (o.command == Command::Provision) {
    ProvisionRequest request;
    request.templatePath = o.file;
    request.tablePath = o.table;
    request.groupsGiven = o.groups.has_value();
    if (o.groups) request.groups = *o.groups;
    request.assign = o.assign;
    request.skipDone = o.skipDone;
    request.dryRun = o.dryRun;
    request.allowCaps = o.allowCaps;
    request.imeis = o.imeis;
    request.password = c.connection.password;
    if (!PrepareTable(request, plan, r)) return Refuse(err, r, refusal);
  } else if (o.command != Command::Read && o.command != Command::Identify) {
    if (!PrepareInput({o.command, o.file, o.groups, c.connection.password, o.allowCaps, true}, plan, r))
      return Refuse(err, r, refusal);
    for (const std::string& capped : plan.capped)
      err << "rv450-cli: capped " << EscapeControlBytes(capped) << "\n";
  }
  return kExitOk;
}

// Nothing is opened, logged or sent: every port shows its lines (provision
// keyed by port: each port's merged lines, or why it would be left alone).
int DryRun(const Options& o, const JobPlan& plan, const std::vector<Target>& targets, std::ostream& out) {
  const bool byPort = plan.provision && plan.provision->table.keyKind == FleetTable::KeyKind::Com;
  const std::vector<std::string> lines = byPort ? std::vector<std::string>() : LinesToSend(plan);
  int status = kExitOk;
  for (const Target& t : targets) {
    PortReport r;
    r.command = o.command;
    r.port = t.port;
    r.device = t.device;
    r.file = o.file;
    r.outcome = "dry-run";
    r.groupsSent = GroupNamesOf(plan.sendGroups);
    r.capped = plan.capped;
    r.wouldSend = lines;
    if (byPort) {
      const TrackerDecision d = DecideTracker(*plan.provision, plan.values, plan.sendGroups,
                                              plan.connection.password, {}, t.port, t.device, false);
      r.rowKey = d.rowKey;
      r.capped = d.capped;
      CarryRowNotes(d, r);
      if (d.write) {
        r.wouldSend = LinesToSend(plan, d.values);
      } else {
        r.outcome = d.outcome;
        r.exitCode = d.exitCode;
        r.message = d.message;
        r.groupsSent.clear();
        r.capped.clear();
      }
    }
    status = std::max(status, r.exitCode);
    if (o.json)
      PrintJson(out, r);
    else
      PrintText(out, r, o.quiet);
  }
  out << std::flush;
  return status;
}

int RunPorts(const Options& o, std::ostream& out, const Environment& env) {
  const auto ports = InspectPorts(env.discovery, env.roots);
  if (o.json)
    PrintPortsJson(out, ports);
  else
    PrintPortsText(out, ports);
  return kExitOk;
}

// Each port's output file (read) and traffic log, checked with the report
// file before any port is touched.
struct PortFiles {
  std::vector<std::string> outputs, logs, labels;
};
bool PreparePortFiles(const Options& o, const std::vector<Target>& targets, PortFiles& f,
                      std::string& error) {
  const bool several = targets.size() > 1;
  for (const Target& t : targets) {
    std::string output;
    if (o.command == Command::Read) {
      output = several ? OutputFileForPort(o.outputFile, t.port) : o.outputFile;
      if (!CheckOutputFile(output, error)) return false;
    }
    f.outputs.push_back(output);
    f.logs.push_back(o.logDir.empty() ? std::string()
                     : several        ? o.logDir + "/AtLog-COM" + std::to_string(t.port) + ".log"
                                      : o.logDir + "/AtLog.log");
    f.labels.push_back("COM" + std::to_string(t.port));
  }
  // Before the logs, whose check creates them: a refused run leaves none behind.
  if (!o.reportFile.empty() && !CheckOutputFile(o.reportFile, error)) {
    error = "report " + error;
    return false;
  }
  if (!o.logDir.empty() && !PrepareLogDir(o.logDir, error)) return false;
  return CheckLogFiles(f.logs, error);
}

// One job per port, each on a thread of its own, all at once; Ctrl+C stops
// every job at its next step.
std::vector<PortReport> RunJobs(const Options& o, const Environment& env, const JobPlan& plan,
                                const std::vector<Target>& targets, const PortFiles& f, std::ostream& err) {
  const auto style = o.quiet            ? CProgress::Style::Quiet
                     : env.liveProgress ? CProgress::Style::Live
                                        : CProgress::Style::Plain;
  CProgress progress(err, style, f.labels, env.terminalWidth);
  std::vector<std::unique_ptr<CPortJob>> jobs;
  for (std::size_t i = 0; i < targets.size(); ++i)
    jobs.push_back(std::make_unique<CPortJob>(plan, targets[i].port, targets[i].device, f.outputs[i],
                                              f.logs[i], progress, i));
  std::vector<int> subscriptions;
  if (env.stop)
    for (auto& job : jobs) subscriptions.push_back(env.stop->Subscribe([j = job.get()] { j->Cancel(); }));
  {
    std::vector<std::thread> threads;
    for (auto& job : jobs) threads.emplace_back([j = job.get()] { j->Run(); });
    for (std::thread& t : threads) t.join();
  }
  if (env.stop)
    for (int id : subscriptions) env.stop->Unsubscribe(id);
  progress.Finish();
  std::vector<PortReport> reports;
  for (auto& job : jobs) reports.push_back(job->report());
  return reports;
}

// What the ports came to: each port's result, the closing table, the line
// that retries the failed trackers and the --report file; the run's status.
int Report(const Options& o, const std::vector<std::string>& args, const Environment& env,
           const std::vector<PortReport>& reports, std::ostream& out, std::ostream& err,
           const std::function<void()>& journalWarning,
           const std::function<int(int status, const std::string& retryLine)>& writeReport) {
  int status = kExitOk;
  bool stopped = false;
  for (const PortReport& r : reports) {
    status = std::max(status, r.exitCode == kExitInterrupted ? kExitOk : r.exitCode);
    stopped = stopped || r.exitCode == kExitInterrupted;
  }
  for (const PortReport& r : reports) {
    if (r.journalError.empty()) continue;
    err << "rv450-cli: COM" << r.port
        << ": the journal row could not be written: " << EscapeControlBytes(r.journalError) << "\n";
    status = std::max(status, static_cast<int>(kExitOutputFailed));
  }
  journalWarning();  // the shared server lost on the way
  const bool identify = o.command == Command::Identify;
  if (identify && !o.json) PrintIdentityTable(out, reports);
  for (const PortReport& r : reports) {
    if (o.json)
      PrintJson(out, r);
    else if (!identify || r.exitCode != kExitOk)
      PrintText(out, r, o.quiet);
  }
  // A traffic log that failed on the way did not stop the port's operation;
  // it is said once per port.
  for (const PortReport& r : reports)
    if (!r.logError.empty())
      err << "rv450-cli: warning: COM" << r.port
          << ": the traffic log could not be written: " << EscapeControlBytes(r.logError) << "\n";
  if (reports.size() > 1 && !identify && !o.json && !o.quiet) PrintClosingTable(out, reports);
  out << std::flush;
  // A port that went away since would stop the whole retry before any port.
  const std::vector<PortEntry> present = DiscoverPorts(env.discovery);
  const RetryLine retry = RetryCommandLine(args, reports, [&present](const PortReport& r) {
    std::error_code ec;
    if (r.port <= 0) return fs::exists(PathFromUtf8(r.device), ec);
    return std::any_of(present.begin(), present.end(),
                       [&r](const PortEntry& p) { return p.number == r.port; });
  });
  // Said after Ctrl+C too: the report holds the same line.
  if (!retry.line.empty())
    err << "rv450-cli: to retry the failed trackers:\n" << EscapeControlBytes(retry.line) << "\n";
  for (const std::string& note : retry.notes) err << "rv450-cli: " << EscapeControlBytes(note) << "\n";
  status = stopped ? kExitInterrupted : status;
  return o.reportFile.empty() ? status : writeReport(status, retry.line);
}

// Each tracker's row is committed when its job ends (the store takes one
// job at a time), so a batch killed midway keeps every finished tracker.
// A dry run writes nothing, not even its journal rows (and takes no --report).
void RecordEachRow(const Options& o, const std::string& journalPath, journal::CJournalStore& store,
                   JobPlan& plan, CBatchRows& batchRows) {
  if ((!o.noJournal || !o.reportFile.empty()) && !o.dryRun)
    plan.onFinished = [&store, &plan, &batchRows, &o, &journalPath](PortReport& r) {
      journal::JournalRow row = JournalRowFor(r, plan);
      // A tracker an --imei run leaves alone keeps its earlier row as its last.
      const bool leftAlone = r.outcome == "skipped" && r.message == kNotInImei;
      std::string why;
      if (!o.noJournal && !leftAlone && !store.Append(row, why)) {
        // The report says what the journal lacks, with the run's status.
        r.journalError = journal::MaskSecrets(why, journalPath);
        row.exitCode = std::max(row.exitCode, static_cast<int>(kExitOutputFailed));
        row.message +=
            (row.message.empty() ? "" : "; ") + std::string("not recorded in the journal: ") + r.journalError;
      }
      batchRows.Add(row);
    };
}

// The work of a command line that parsed; `refusal` gets the message of a
// usage error (exit 2).
int RunCommand(const Options& o, const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               const Environment& env, std::string& refusal) {
  std::string error;
  auto fail = [&](const std::string& message) {
    refusal = message;
    return Fail(err, message);
  };
  if (o.command == Command::Ports) return RunPorts(o, out, env);
  const std::string journalPath = o.journalPath.empty() ? env.journalPath : o.journalPath;
  if (const std::string why = journal::CJournalStore::RefusalOf(journalPath); !why.empty())
    return fail("journal " + why);
  if (journal::CJournalStore::IsServer(o.journalPath) && journal::HoldsPassword(o.journalPath))
    err << "rv450-cli: warning: other users can see the journal server's password in --journal (ps); "
           "give the server through RV450_JOURNAL, and the password through libpq's password file "
           "(~/.pgpass) or PGPASSWORD\n";
  if (o.command == Command::Journal) return RunJournal(o, journalPath, out, err);
  if (o.command == Command::Labels) return RunLabels(o, journalPath, out, err);

  Connections c;
  if (!ResolveConnection(o, env, err, c, error)) return fail(error);

  JobPlan plan;
  if (const int status = PreparePlan(o, env, c, plan, err, refusal); status != kExitOk) return status;
  // provision keyed by IMEI runs its jobs: each tracker's row is found on its port.
  if (o.dryRun && (o.command != Command::Provision ||
                   (plan.provision && plan.provision->table.keyKind == FleetTable::KeyKind::Com)))
    return DryRun(o, plan, c.targets, out);
  PortFiles files;
  if (!PreparePortFiles(o, c.targets, files, error)) return fail(error);
  // A run that talks to trackers is recorded; a journal that cannot take its
  // rows stops it before any port.
  journal::CJournalStore store;
  if (!o.noJournal && !OpenJournal(store, journalPath, error)) return fail(error);
  auto journalWarning = [&] {
    if (const std::string warning = store.TakeWarning(); !warning.empty())
      err << "rv450-cli: warning: journal: " << EscapeControlBytes(journal::MaskSecrets(warning, journalPath))
          << "\n";
  };
  journalWarning();
  if (plan.provision) {
    if (!o.noJournal) plan.provision->store = &store;
    // A row dealt while the shared server is away could be dealt twice.
    if (o.assign && !o.dryRun && DealingNeedsServer(store))
      return fail(
          "--assign deals rows on the shared journal server, which cannot be reached now; "
          "no port was touched");
  }

  CBatchRows batchRows;
  RecordEachRow(o, journalPath, store, plan, batchRows);
  std::vector<StationPort> watched;
  for (std::size_t i = 0; o.watch && i < c.targets.size(); ++i) watched.push_back({c.targets[i].port, files.logs[i]});
  const std::vector<PortReport> reports =
      o.watch ? RunWatch(o, env, plan, watched, err) : RunJobs(o, env, plan, c.targets, files, err);
  return Report(o, args, env, reports, out, err, journalWarning,
                [&](int status, const std::string& retryLine) {
                  return WriteBatchReport(o.reportFile, o.command, status, retryLine,
                                          batchRows.InOrder(reports, plan), err);
                });
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const Environment& env) {
  Options o;
  std::string error;
  if (!ParseArgs(args, o, error)) {
    error = journal::MaskSecrets(error);
    err << "rv450-cli: " << EscapeControlBytes(error) << "\nTry 'rv450-cli --help'.\n";
    // --json anywhere before "--" asks for the refusal as an object too.
    const auto end = std::find(args.begin(), args.end(), "--");
    if (std::find(args.begin(), end, "--json") != end) PrintJsonError(out, error, kExitUsage);
    return kExitUsage;
  }
  if (o.help) {
    out << UsageText(o.command);
    return kExitOk;
  }
  if (o.version) {
    out << "rv450-cli " << KESTRUN_VERSION << "\n";
    return kExitOk;
  }
  std::string refusal;
  const int status = RunCommand(o, args, out, err, env, refusal);
  // A port's own status 2 (provision refusing a tracker's merged values) is in its object already.
  if (status == kExitUsage && o.json && !refusal.empty())
    PrintJsonError(out, journal::MaskSecrets(refusal), kExitUsage);
  return status;
}

}  // namespace kestrun::cli
