#include "cli/JournalCommand.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <type_traits>
#include <vector>

#include "batch/Compare.h"
#include "cli/CsvField.h"
#include "cli/JsonWriter.h"
#include "journal/JournalColumns.h"
#include "journal/JournalStore.h"
#include "protocol/ControlChars.h"
#include "protocol/TextList.h"

namespace kestrun::cli {

using namespace kestrun::batch;

using journal::JournalRow;

namespace {

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

void PrintRows(std::ostream& out, const Options& o, const std::vector<JournalRow>& rows) {
  if (o.csv) {
    std::string header;
    for (const JournalColumn& c : JournalColumns(JournalRow()))
      header += (header.empty() ? "" : ",") + std::string(c.name);
    out << header << "\n";
    for (const JournalRow& r : rows) {
      std::string line;
      for (const JournalColumn& c : JournalColumns(r)) line += (line.empty() ? "" : ",") + CsvField(c.value);
      out << line << "\n";
    }
    return;
  }
  if (o.json) {
    for (const JournalRow& r : rows) {
      CJsonObject object;
      object.Whole("schema", kJsonSchema);
      for (const JournalColumn& c : JournalColumns(r)) object.Value(c.name, c.value, c.bare);
      out << object.Done() << "\n";
    }
    return;
  }
  char line[512];
  std::snprintf(line, sizeof line, "%-20s  %-15s  %-6s  %-9s  %-15s  %-12s  %s\n", "TIME (UTC)", "IMEI",
                "PORT", "COMMAND", "OUTCOME", "SETTINGS", "STATION");
  out << line;
  for (const JournalRow& r : rows) {
    // The row's own bytes are escaped, its line end is not.
    std::snprintf(line, sizeof line, "%-20s  %-15s  %-6s  %-9s  %-15s  %-12s  %s", r.time.c_str(),
                  r.imei.empty() ? "-" : r.imei.c_str(), r.port.c_str(), r.command.c_str(), r.outcome.c_str(),
                  r.settingsHash.empty() ? "-" : r.settingsHash.substr(0, 12).c_str(), r.station.c_str());
    out << EscapeControlBytes(line) << "\n";
    if (!r.message.empty()) out << "    " << EscapeControlBytes(r.message) << "\n";
  }
}

void PrintDevices(std::ostream& out, const Options& o, const std::vector<journal::DeviceLine>& devices) {
  auto columns = [](const journal::DeviceLine& d) {
    return std::vector<std::pair<const char*, std::string>>{
        {"imei", d.imei},       {"iccid", d.iccid},     {"firmware", d.firmware},
        {"time", d.time},       {"outcome", d.outcome}, {"settingsHash", d.settingsHash},
        {"station", d.station}, {"port", d.port}};
  };
  if (o.csv) out << "imei,iccid,firmware,time,outcome,settingsHash,station,port\n";
  for (const journal::DeviceLine& d : devices) {
    std::string line;
    CJsonObject object;
    object.Whole("schema", kJsonSchema);
    for (const auto& [name, value] : columns(d)) {
      if (o.json)
        object.Text(name, value);
      else if (o.csv)
        line += (line.empty() ? "" : ",") + CsvField(value);
      else
        line += (line.empty() ? "" : "  ") + EscapeControlBytes(value.empty() ? "-" : value);
    }
    out << (o.json ? object.Done() : line) << "\n";
  }
}

// Sends the rows of the local journal that wait to the shared server.
int PushJournal(const Options& o, const std::string& target, std::ostream& out, std::ostream& err) {
  if (!journal::CJournalStore::IsServer(target)) {
    err << "rv450-cli: journal push: no shared journal is set (--journal postgresql://... or "
           "RV450_JOURNAL)\n";
    return kExitUsage;
  }
  journal::CJournalStore store;
  std::string error;
  if (!store.Open(target, journal::CJournal::DefaultPath(), error)) {
    err << "rv450-cli: journal " << EscapeControlBytes(error) << "\n";
    return kExitUsage;
  }
  int sent = 0, waiting = 0;
  const bool ok = store.Push(sent, waiting, error);
  if (o.json)
    out << CJsonObject()
               .Whole("schema", kJsonSchema)
               .Text("server", store.ServerName())
               .Whole("sent", sent)
               .Whole("waiting", waiting)
               .Done()
        << "\n";
  else
    out << "rows sent: " << sent << ", still waiting: " << waiting << "\n";
  out << std::flush;
  if (ok) return kExitOk;
  err << "rv450-cli: journal push: " << EscapeControlBytes(error) << "\n";
  return kExitOutputFailed;
}

}  // namespace

std::vector<JournalColumn> JournalColumns(const JournalRow& r) {
  std::vector<JournalColumn> columns;
  for (const journal::JournalColumnDef& c : journal::kJournalColumns)
    std::visit(
        [&](auto member) {
          using Value = std::remove_cvref_t<decltype(r.*member)>;
          if constexpr (std::is_same_v<Value, std::string>)
            columns.push_back({c.jsonName, r.*member});
          else if constexpr (std::is_same_v<Value, double>)
            columns.push_back({c.jsonName, Number(r.*member), true});
          else if constexpr (std::is_same_v<Value, bool>)
            columns.push_back({c.jsonName, r.*member ? "true" : "false", true});
          else
            columns.push_back({c.jsonName, std::to_string(r.*member), true});
        },
        c.member);
  return columns;
}

const std::vector<std::string>& JournalOutcomes() {
  static const std::vector<std::string> words = {"ok",
                                                 "equal",
                                                 "different",
                                                 "port-not-opened",
                                                 "tracker-failed",
                                                 "tracker-changed",
                                                 "nothing-to-send",
                                                 "output-failed",
                                                 "stopped",
                                                 "no-row",
                                                 "skipped",
                                                 "refused",
                                                 "claim-failed",
                                                 kFailedOutcomes};
  return words;
}

bool JournalQueryOf(const Options& o, journal::JournalQuery& query, std::string& error) {
  const std::vector<std::string>& words = JournalOutcomes();
  if (!o.outcome.empty() && std::find(words.begin(), words.end(), o.outcome) == words.end()) {
    error = "--outcome '" + o.outcome + "' is no outcome; use one of " + JoinedWith(words, ",");
    return false;
  }
  query = journal::JournalQuery();
  query.imei = o.imei;
  query.since = o.since;
  query.failed = o.outcome == kFailedOutcomes;
  query.outcome = query.failed ? std::string() : o.outcome;
  return true;
}

int RunJournal(const Options& o, const std::string& target, std::ostream& out, std::ostream& err) {
  if (o.journalPush) return PushJournal(o, target, out, err);
  auto refuse = [&err](const std::string& message) {
    err << "rv450-cli: " << EscapeControlBytes(message) << "\n";
    return kExitUsage;
  };
  journal::JournalQuery query;
  std::string error;
  if (!JournalQueryOf(o, query, error)) return refuse(error);
  if (o.journalDevices && (!o.imei.empty() || !o.since.empty() || !o.outcome.empty()))
    return refuse(
        "journal devices lists every tracker as last seen; --imei, --since and --outcome "
        "narrow the rows of 'journal'");
  const std::string path =
      journal::CJournalStore::IsServer(target) ? journal::CJournal::DefaultPath() : target;
  journal::CJournal db;
  if (!db.Open(path, error)) {
    err << "rv450-cli: journal " << EscapeControlBytes(error) << "\n";
    return kExitUsage;
  }
  bool ok;
  if (o.journalDevices) {
    std::vector<journal::DeviceLine> devices;
    if ((ok = db.Devices(devices, error))) PrintDevices(out, o, devices);
  } else {
    std::vector<JournalRow> rows;
    if ((ok = db.Rows(query, rows, error))) PrintRows(out, o, rows);
  }
  out << std::flush;
  if (ok) return kExitOk;
  err << "rv450-cli: journal " << path << ": " << EscapeControlBytes(error) << "\n";
  return kExitOutputFailed;
}

}  // namespace kestrun::cli
