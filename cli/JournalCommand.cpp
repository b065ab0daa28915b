#include "cli/JournalCommand.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <type_traits>
#include <vector>

#include "batch/Compare.h"
#include "batch/PortReport.h"
#include "cli/CsvField.h"
#include "cli/JsonWriter.h"
#include "journal/JournalColumns.h"
#include "journal/JournalListing.h"
#include "journal/JournalStore.h"
#include "journal/RowNotes.h"
#include "port/Console.h"
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

// A notes text as a JSON object whose strings are written as every other
// member's are; a text that is no notes object stays a string.
std::string NotesMember(const std::string& notes) {
  journal::NoteCells cells;
  if (notes.empty()) return "null";
  if (!journal::ReadNotes(notes, cells)) return JsonString(notes);
  std::string json;
  for (const auto& [header, text] : cells)
    json += (json.empty() ? "{" : ",") + JsonString(header) + ":" + JsonString(text);
  return json.empty() ? "{}" : json + "}";
}

void Member(CJsonObject& object, const JournalColumn& c) {
  if (c.json.empty())
    object.Value(c.name, c.value, c.bare);
  else
    object.Raw(c.name, c.json);
}

// `source`: a member saying where the rows come from ("server" or "local"), when a shared journal is set.
void PrintRows(std::ostream& out, const Options& o, const std::vector<JournalRow>& rows, const char* source) {
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
      if (source) object.Text("source", source);
      for (const JournalColumn& c : JournalColumns(r)) Member(object, c);
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

// One line per tracker; the notes cells named by --with-columns follow the fixed columns (JSON: in "notes").
void PrintDevices(std::ostream& out, const Options& o, const std::vector<journal::DeviceLine>& devices,
                  const char* source) {
  auto columns = [](const journal::DeviceLine& d) {
    return std::vector<std::pair<const char*, std::string>>{
        {"imei", d.imei},         {"iccid", d.iccid},
        {"firmware", d.firmware}, {"time", d.time},
        {"outcome", d.outcome},   {"settingsHash", d.settingsHash},
        {"station", d.station},   {"port", d.port},
        {"rowKey", d.rowKey},     {"lastVerified", d.lastVerified}};
  };
  if (o.csv) {
    std::string header;
    for (const auto& [name, value] : columns(journal::DeviceLine()))
      header += (header.empty() ? "" : ",") + std::string(name);
    for (const std::string& name : o.withColumns) header += "," + CsvField(name);
    out << header << "\n";
  }
  for (const journal::DeviceLine& d : devices) {
    std::string line;
    CJsonObject object;
    object.Whole("schema", kJsonSchema);
    if (source) object.Text("source", source);
    auto add = [&](const std::string& value) {
      if (o.csv)
        line += (line.empty() ? "" : ",") + CsvField(value);
      else
        line += (line.empty() ? "" : "  ") + EscapeControlBytes(value.empty() ? "-" : value);
    };
    for (const auto& [name, value] : columns(d)) {
      if (o.json)
        object.Text(name, value);
      else
        add(value);
    }
    journal::NoteCells named;
    for (const std::string& name : o.withColumns) {
      named.emplace_back(name, journal::NoteCell(d.notes, name));
      if (!o.json) add(named.back().second);
    }
    if (o.json && !named.empty()) object.Raw("notes", NotesMember(journal::NotesJson(named)));
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
            // The notes are a JSON object of their own.
            columns.push_back(
                {c.jsonName, r.*member, false, member == &JournalRow::notes ? NotesMember(r.*member) : ""});
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
  static const std::vector<std::string> words = [] {
    std::vector<std::string> all;
    for (const batch::OutcomeName& outcome : batch::kOutcomeNames) all.push_back(outcome.word);
    all.push_back(kFailedOutcomes);
    return all;
  }();
  return words;
}

bool JournalQueryOf(const Options& o, journal::JournalQuery& query, std::string& error) {
  const std::vector<std::string>& words = JournalOutcomes();
  if (!o.outcome.empty() && std::find(words.begin(), words.end(), o.outcome) == words.end()) {
    error = "--outcome '" + o.outcome + "' is no outcome; use one of " + JoinedWith(words, ",");
    return false;
  }
  query = journal::JournalQuery();
  query.imeis = o.imeis;
  query.since = o.since;
  query.latest = o.latest;
  query.failed = o.outcome == kFailedOutcomes;
  query.outcome = query.failed ? std::string() : o.outcome;
  return true;
}

int RunJournal(const Options& o, const std::string& target, std::ostream& out, std::ostream& err) {
  return RunJournal(o, target, out, err, &out == &std::cout && OutputIsTerminal());
}

int RunJournal(const Options& o, const std::string& target, std::ostream& out, std::ostream& err,
               bool terminal) {
  if (o.journalPush) return PushJournal(o, target, out, err);
  journal::ListingRequest request;
  request.target = target;
  request.outboxPath = journal::CJournal::DefaultPath();
  request.devices = o.journalDevices;
  request.localOnly = o.localOnly;
  journal::JournalQuery& query = request.query;
  std::string error;
  if (!JournalQueryOf(o, query, error)) {
    err << "rv450-cli: " << EscapeControlBytes(error) << "\n";
    return kExitUsage;
  }
  query.limit = o.limit ? *o.limit : terminal ? kTerminalRows : 0;
  journal::Listing listing;
  if (!journal::ReadListing(request, listing, error)) {
    err << "rv450-cli: journal " << EscapeControlBytes(error) << "\n";
    return listing.readFailed ? kExitOutputFailed : kExitUsage;
  }
  if (!listing.warning.empty())
    err << "rv450-cli: journal: warning: " << EscapeControlBytes(listing.warning) << "\n";
  const bool shared = journal::CJournalStore::IsServer(target);
  const char* source = !shared ? nullptr : listing.server.empty() ? "local" : "server";
  if (!listing.server.empty() && !o.csv && !o.json)
    out << "shared journal " << EscapeControlBytes(listing.server) << ": every station's "
        << (o.journalDevices ? "trackers" : "rows") << "\n";
  if (listing.waiting > 0)
    err << "rv450-cli: journal: " << Plural(static_cast<std::size_t>(listing.waiting), "row")
        << " of this station " << (listing.waiting == 1 ? "is" : "are")
        << " not on the shared journal yet; 'rv450-cli journal push' sends them\n";
  if (o.journalDevices)
    PrintDevices(out, o, listing.devices, source);
  else
    PrintRows(out, o, listing.rows, source);
  out << std::flush;
  if (listing.more)
    err << "rv450-cli: journal: the first " << query.limit << (o.journalDevices ? " trackers" : " rows")
        << " are shown and more exist; --limit 0 lists them all, --since, --imei or --outcome narrow the "
           "list\n";
  return kExitOk;
}

}  // namespace kestrun::cli
