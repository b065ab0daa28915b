#include "cli/LabelsCommand.h"

#include <algorithm>
#include <map>

#include "cli/JournalCommand.h"
#include "cli/JsonWriter.h"
#include "cli/Report.h"
#include "journal/JournalStore.h"
#include "protocol/ControlChars.h"
#include "protocol/TextList.h"

namespace kestrun::cli {

using namespace kestrun::batch;

namespace {

// The trackers' own rows, newest first, as LabelRecords keyed by IMEI.
void AddRows(const std::vector<journal::JournalRow>& rows, std::vector<LabelRecord>& labels) {
  std::map<std::string, std::size_t> seen;
  for (std::size_t i = 0; i < labels.size(); ++i) seen[labels[i].imei] = i;
  for (const journal::JournalRow& row : rows) {
    if (row.imei.empty()) continue;
    const auto [at, fresh] = seen.emplace(row.imei, labels.size());
    if (fresh) {
      labels.push_back({row.imei, row.iccid, row.firmware, row.time.substr(0, 10)});
      continue;
    }
    LabelRecord& label = labels[at->second];
    if (label.iccid.empty()) label.iccid = row.iccid;
    if (label.firmware.empty()) label.firmware = row.firmware;
  }
}

// "--since ... --outcome ...": the filters given besides --imei, for a message.
std::string Filters(const Options& o) {
  std::string text;
  if (!o.since.empty()) text += " --since " + o.since;
  if (!o.outcome.empty()) text += " --outcome " + o.outcome;
  return text;
}

}  // namespace

bool SelectLabels(const Options& o, const journal::CJournal& db, std::vector<LabelRecord>& labels,
                  std::vector<std::string>& missing, std::string& error) {
  labels.clear();
  missing.clear();
  journal::JournalQuery query;
  if (!JournalQueryOf(o, query, error)) return false;
  std::vector<journal::JournalRow> rows;
  if (o.imeis.empty()) {
    if (!db.Rows(query, rows, error)) return false;
    AddRows(rows, labels);
    std::sort(labels.begin(), labels.end(),
              [](const LabelRecord& a, const LabelRecord& b) { return a.imei < b.imei; });
    return true;
  }
  for (const std::string& imei : o.imeis) {
    query.imeis = {imei};
    if (!db.Rows(query, rows, error)) return false;
    const std::size_t before = labels.size();
    AddRows(rows, labels);
    if (labels.size() == before) missing.push_back(imei);
  }
  return true;
}

int RunLabels(const Options& o, const std::string& target, std::ostream& out, std::ostream& err) {
  auto fail = [&err](const std::string& message, int status) {
    err << "rv450-cli: labels: " << EscapeControlBytes(message) << "\n";
    return status;
  };
  if (!LabelsAvailable()) return fail(LabelsUnavailableText(), kExitUsage);
  const std::string path =
      journal::CJournalStore::IsServer(target) ? journal::CJournal::DefaultPath() : target;
  journal::CJournal db;
  std::string error;
  if (!db.Open(path, error)) return fail("journal " + error, kExitUsage);
  std::vector<LabelRecord> labels;
  std::vector<std::string> missing;
  if (!SelectLabels(o, db, labels, missing, error)) return fail(error, kExitUsage);
  if (!missing.empty())
    return fail("the journal " + path + " has no row of IMEI " + JoinedWith(missing, ", ") +
                    (Filters(o).empty() ? "" : " that" + Filters(o) + " selects") + "; no file was written",
                kExitUsage);
  if (labels.empty())
    return fail("no tracker selected: the journal " + path + " has no row with an IMEI" +
                    (Filters(o).empty() ? "" : " that" + Filters(o) + " selects") + "; no file was written",
                kExitUsage);
  if (!WriteLabelSheet(labels, o.layout, o.outputFile, error)) return fail(error, kExitOutputFailed);
  const int pages = LabelPages(o.layout, labels.size());
  const char* layout = GeometryOf(o.layout).name;
  if (o.json)
    out << CJsonObject()
               .Whole("schema", kJsonSchema)
               .Text("file", o.outputFile)
               .Text("layout", layout)
               .Whole("labels", static_cast<long long>(labels.size()))
               .Whole("pages", pages)
               .Done()
        << "\n";
  else
    out << Plural(labels.size(), "label") << " on " << Plural(static_cast<std::size_t>(pages), "page") << " ("
        << layout << ") into " << EscapeControlBytes(o.outputFile) << "\n";
  out << std::flush;
  return kExitOk;
}

}  // namespace kestrun::cli
