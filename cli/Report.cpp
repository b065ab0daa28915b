#include "cli/Report.h"

#include <algorithm>
#include <cstdio>
#include <iomanip>
#include <sstream>

#include "cli/JsonWriter.h"
#include "protocol/ControlChars.h"

namespace kestrun::cli {

using namespace kestrun::batch;

namespace {

std::string Hex(unsigned char c, const char* format) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, format, c);
  return buffer;
}

std::string JsonList(const std::vector<std::string>& items) {
  std::string text = "[";
  for (std::size_t i = 0; i < items.size(); ++i) text += (i ? "," : "") + JsonString(items[i]);
  return text + "]";
}

// [{"column":"#Vehicle","text":"Van 12"},...] in column order.
std::string TableNotes(const PortReport& r) {
  std::string list = "[";
  for (const auto& [column, text] : r.tableNotes)
    list += (list.size() > 1 ? "," : "") + CJsonObject().Text("column", column).Text("text", text).Done();
  return list + "]";
}

// A number, or null when it is unknown (negative).
std::string Number(int value) { return value < 0 ? "null" : std::to_string(value); }

}  // namespace

std::string Quoted(const std::string& value) {
  std::string text = "\"";
  for (char ch : value) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (ch == '"' || ch == '\\') {
      text += '\\';
      text += ch;
    } else if (c < 0x20 || c == 0x7F) {
      text += Hex(c, "\\x%02X");
    } else {
      text += ch;
    }
  }
  return text + "\"";
}

static std::string PortName(const PortReport& r) {
  return r.port > 0 ? "COM" + std::to_string(r.port) : EscapeControlBytes(r.device);
}

void PrintText(std::ostream& out, const PortReport& r, bool quiet) {
  const std::string who = PortName(r);
  const bool failed = r.exitCode != kExitOk && r.exitCode != kExitDifferent;
  for (const std::string& line : r.wouldSend)
    out << who << " would send: " << EscapeControlBytes(line) << "\n";
  if (quiet && !failed) {
    for (const Difference& d : r.differences)
      out << who << " " << EscapeControlBytes("[" + d.section + "] " + d.key) << ": file "
          << Quoted(d.fileValue) << " tracker " << Quoted(d.trackerValue) << "\n";
    return;
  }
  out << who << " " << CommandName(r.command) << ": " << ResultText(r) << "\n";
  const bool sends =
      r.command == Command::Write || r.command == Command::Verify || r.command == Command::Provision;
  if (sends && r.exitCode != kExitOk && r.exitCode != kExitDifferent && r.linesSent > 0) {
    out << who << " groups the tracker took before it stopped: ";
    for (std::size_t i = 0; i < r.groupsSent.size(); ++i) out << (i ? ", " : "") << r.groupsSent[i];
    out << (r.groupsSent.empty() ? "none" : "") << " (" << Plural(r.linesSent, "line") << " sent)\n";
  }
  for (const Difference& d : r.differences)
    out << who << " " << EscapeControlBytes("[" + d.section + "] " + d.key) << ": file "
        << Quoted(d.fileValue) << " tracker " << Quoted(d.trackerValue) << "\n";
  for (const std::string& c : r.capped) out << who << " capped: " << EscapeControlBytes(c) << "\n";
  for (const std::string& n : r.notes) out << who << " note: " << EscapeControlBytes(n) << "\n";
  for (const auto& [column, text] : r.tableNotes)
    out << who << " " << EscapeControlBytes(column) << ": " << Quoted(text) << "\n";
}

void PrintJson(std::ostream& out, const PortReport& r) {
  std::ostringstream seconds;
  seconds << std::fixed << std::setprecision(3) << r.seconds;
  std::string differences = "[";
  for (const Difference& d : r.differences)
    differences += (differences.size() > 1 ? "," : "") + CJsonObject()
                                                             .Text("section", d.section)
                                                             .Text("key", d.key)
                                                             .Text("file", d.fileValue)
                                                             .Text("tracker", d.trackerValue)
                                                             .Done();
  out << CJsonObject()
             .Whole("schema", kJsonSchema)
             .Raw("port", r.port > 0 ? std::to_string(r.port) : "null")
             .Text("device", r.device)
             .Text("command", CommandName(r.command))
             .Text("outcome", r.outcome)
             .Whole("exitCode", r.exitCode)
             .Text("message", r.message)
             .Text("detail", r.detail)
             .Text("file", r.file)
             .Text("firmware", r.firmware)
             .Text("imei", r.identity.imei)
             .Text("rowKey", r.rowKey)
             .Flag("imeiValid", r.identity.imeiValid)
             .Text("iccid", r.identity.iccid)
             .Raw("rssi", Number(r.identity.rssi))
             .Raw("ber", Number(r.identity.ber))
             .Raw("groupsSent", JsonList(r.groupsSent))
             .Raw("groupsRead", JsonList(r.groupsRead))
             .Whole("linesSent", r.linesSent)
             .Whole("keysCompared", r.keysCompared)
             .Raw("differences", differences + "]")
             .Raw("capped", JsonList(r.capped))
             .Raw("notes", JsonList(r.notes))
             .Raw("tableNotes", TableNotes(r))
             .Raw("wouldSend", JsonList(r.wouldSend))
             .Text("logError", r.logError)
             .Raw("seconds", seconds.str())
             .Done()
      << "\n";
}

void PrintJsonError(std::ostream& out, const std::string& error, int exitCode) {
  out << CJsonObject().Whole("schema", kJsonSchema).Text("error", error).Whole("exitCode", exitCode).Done()
      << "\n";
}

void PrintIdentityTable(std::ostream& out, const std::vector<PortReport>& reports) {
  const std::vector<std::string> head = {"PORT", "DEVICE", "IMEI", "ICCID", "FIRMWARE", "SIGNAL"};
  std::vector<std::vector<std::string>> rows = {head};
  for (const PortReport& r : reports) {
    const TrackerIdentity& id = r.identity;
    const bool done = r.exitCode == kExitOk;
    rows.push_back({PortName(r), EscapeControlBytes(r.device),
                    id.imei.empty() ? "-" : EscapeControlBytes(id.imei) + (id.imeiValid ? "" : " (invalid)"),
                    id.iccid.empty() ? "-" : EscapeControlBytes(id.iccid),
                    r.firmware.empty() ? "-" : EscapeControlBytes(r.firmware),
                    done ? SignalText(id.rssi) : OutcomeWords(r)});
  }
  std::vector<std::size_t> widths(head.size(), 0);
  for (const auto& row : rows)
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
    }
    out << line << "\n";
  }
}

void PrintClosingTable(std::ostream& out, const std::vector<PortReport>& reports) {
  std::size_t deviceWidth = 6;
  for (const PortReport& r : reports)
    deviceWidth = std::max(deviceWidth, EscapeControlBytes(r.device).size());
  auto row = [&](const std::string& port, const std::string& device, const std::string& imei,
                 const std::string& result, const std::string& code, const std::string& time,
                 const std::string& why) {
    std::ostringstream line;
    line << std::left << std::setw(8) << port << std::setw(static_cast<int>(deviceWidth) + 2) << device
         << std::setw(17) << imei << std::setw(18) << result << std::setw(6) << code << std::setw(9) << time
         << why;
    std::string text = line.str();
    text.erase(text.find_last_not_of(' ') + 1);
    out << text << "\n";
  };
  row("PORT", "DEVICE", "IMEI", "RESULT", "EXIT", "TIME", "");
  for (const PortReport& r : reports) {
    std::ostringstream time;
    time << std::fixed << std::setprecision(1) << r.seconds << " s";
    const bool failed = r.exitCode != kExitOk && r.exitCode != kExitDifferent;
    const std::string imei = r.identity.Key().empty() ? "-" : r.identity.Key();
    row(PortName(r), EscapeControlBytes(r.device), imei, OutcomeWords(r), std::to_string(r.exitCode),
        time.str(), failed ? FailureText(r) : std::string());
  }
}

}  // namespace kestrun::cli
