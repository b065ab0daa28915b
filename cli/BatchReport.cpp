#include "cli/BatchReport.h"

#include <algorithm>
#include <cctype>

#include "batch/PrepareBatch.h"
#include "cli/CsvField.h"
#include "cli/JournalCommand.h"
#include "cli/JsonWriter.h"
#include "protocol/ControlChars.h"
#include "settings/SafeFile.h"

#ifndef KESTRUN_VERSION
#define KESTRUN_VERSION "0"
#endif

namespace kestrun::cli {

using namespace kestrun::batch;

namespace {

// The journal's columns without "sent": whether a row reached a shared
// server is the journal's business, not the run's.
std::vector<JournalColumn> ReportColumns(const journal::JournalRow& row) {
  std::vector<JournalColumn> columns = JournalColumns(row);
  columns.erase(std::remove_if(columns.begin(), columns.end(),
                               [](const JournalColumn& c) { return std::string(c.name) == "sent"; }),
                columns.end());
  return columns;
}

std::string CsvText(const std::vector<journal::JournalRow>& rows) {
  std::string text;
  for (const JournalColumn& c : ReportColumns(journal::JournalRow()))
    text += (text.empty() ? "" : ",") + std::string(c.name);
  text += "\n";
  for (const journal::JournalRow& row : rows) {
    std::string line;
    for (const JournalColumn& c : ReportColumns(row)) line += (line.empty() ? "" : ",") + CsvField(c.value);
    text += line + "\n";
  }
  return text;
}

std::string JsonText(Command command, int exitCode, const std::optional<std::string>& retry,
                     const std::vector<journal::JournalRow>& rows) {
  CJsonObject head;
  head.Whole("schema", kBatchReportSchema)
      .Text("program", "rv450-cli")
      .Text("version", KESTRUN_VERSION)
      .Text("command", CommandName(command))
      .Whole("exitCode", exitCode);
  if (retry) head.Value("retry", retry->empty() ? "null" : *retry, retry->empty());
  // One row to a line.
  std::string list = "[";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    CJsonObject object;
    for (const JournalColumn& c : ReportColumns(rows[i])) {
      if (c.json.empty())
        object.Value(c.name, c.value, c.bare);
      else
        object.Raw(c.name, c.json);  // the notes: an object, as journal --json writes them
    }
    list += (i ? ",\n" : "\n") + object.Done();
  }
  return head.Raw("rows", list + "\n]").Done() + "\n";
}

}  // namespace

bool ReportFormatOf(const std::string& path, ReportFormat& format, std::string& error) {
  const std::size_t dot = path.rfind('.');
  const std::size_t slash = path.rfind('/');
  std::string extension = dot == std::string::npos || (slash != std::string::npos && dot < slash)
                              ? std::string()
                              : path.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == "csv" || extension == "json") {
    format = extension == "csv" ? ReportFormat::Csv : ReportFormat::Json;
    return true;
  }
  error = "--report wants a file ending in .csv or .json, not '" + path + "'";
  return false;
}

void CBatchRows::Add(journal::JournalRow row) {
  if (row.time.empty()) row.time = journal::UtcNow();
  std::lock_guard<std::mutex> lock(mutex_);
  rows_[row.device].push_back(std::move(row));
}

std::vector<journal::JournalRow> CBatchRows::InOrder(const std::vector<PortReport>& reports,
                                                     const JobPlan& plan) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<journal::JournalRow> rows;
  std::map<std::string, std::size_t> taken;  // rows of each device used so far
  for (const PortReport& report : reports) {
    const auto found = rows_.find(report.device);
    if (std::size_t& n = taken[report.device]; found != rows_.end() && n < found->second.size()) {
      rows.push_back(found->second[n++]);
      continue;
    }
    rows.push_back(JournalRowFor(report, plan));
    rows.back().time = journal::UtcNow();
  }
  return rows;
}

std::string BatchReportText(ReportFormat format, Command command, int exitCode,
                            const std::optional<std::string>& retry,
                            const std::vector<journal::JournalRow>& rows) {
  return format == ReportFormat::Csv ? CsvText(rows) : JsonText(command, exitCode, retry, rows);
}

int WriteBatchReport(const std::string& path, Command command, int status,
                     const std::optional<std::string>& retry, const std::vector<journal::JournalRow>& rows,
                     std::ostream& err) {
  ReportFormat format = ReportFormat::Csv;
  std::string error;
  FileResult written;
  if (!ReportFormatOf(path, format, error))
    written = FileResult::Failure(path, "choosing the format", error);
  else
    written = ReplaceSettingsFile(path, BatchReportText(format, command, status, retry, rows));
  if (written) return status;
  err << "rv450-cli: the report could not be written: " << EscapeControlBytes(written.Message()) << "\n";
  return status == kExitInterrupted ? status : std::max(status, static_cast<int>(kExitOutputFailed));
}

}  // namespace kestrun::cli
