#include "batch/Provision.h"

#include <algorithm>
#include <filesystem>

#include "batch/Compare.h"
#include "batch/ConfigCheck.h"
#include "port/Utf8Path.h"

namespace kestrun::batch {

namespace {

TrackerDecision NotWritten(const char* outcome, int exitCode, std::string message) {
  TrackerDecision d;
  d.outcome = outcome;
  d.exitCode = exitCode;
  d.message = std::move(message);
  return d;
}

// Where a value that breaks a rule came from: the row's column, or the template.
std::string Origin(const FleetTable::Row* row, const Problem& p) {
  if (row) {
    const std::string column = p.section + "/" + p.key;
    for (const auto& [name, value] : row->values)
      if (name == column) return "table line " + std::to_string(row->line) + ", column " + column + ": ";
  }
  return "template: ";
}

// The decision `d` about the tracker of `row`, which it names.
TrackerDecision& WithRow(TrackerDecision& d, const FleetTable::Row* row) {
  if (row) {
    d.notes = row->notes;
    d.tidied = row->tidied;
  }
  return d;
}

bool SameDevice(const std::string& key, const std::string& device) {
  if (key.empty() || key[0] != '/') return false;
  std::error_code ec1, ec2;
  const auto a = std::filesystem::weakly_canonical(PathFromUtf8(key), ec1),
             b = std::filesystem::weakly_canonical(PathFromUtf8(device), ec2);
  return !ec1 && !ec2 && a == b;
}

}  // namespace

std::string SettingsHashOf(const CFormValues& values, const GroupSelection& groups) {
  std::vector<std::string> lines;
  for (const ConfigKey* key : SentKeys(values, groups))
    lines.push_back(std::string(key->section) + "/" + key->key + "=" + KeyText(*key, values));
  return journal::SettingsHash(lines);
}

TrackerDecision DecideTracker(const ProvisionSetup& setup, const CFormValues& templateValues,
                              const GroupSelection& sendGroups, const std::string& password,
                              const TrackerIdentity& identity, int port, const std::string& device,
                              bool claim) {
  const std::string imei = identity.Key();
  const FleetTable& table = setup.table;
  const bool byPort = table.keyKind == FleetTable::KeyKind::Com;
  // Without a valid IMEI a tracker can be matched by its port only.
  if (imei.empty() && !(byPort && setup.dryRun))
    return NotWritten("no-row", kExitDifferent,
                      identity.imei.empty() ? "the tracker gave no IMEI"
                                            : "the tracker's IMEI " + identity.imei + " is not valid");
  if (!setup.imeis.empty() && !imei.empty() &&
      std::find(setup.imeis.begin(), setup.imeis.end(), imei) == setup.imeis.end())
    return NotWritten("skipped", kExitOk, kNotInImei);

  const FleetTable::Row* row = nullptr;
  std::string rowKey;
  std::string dealt;  // what a dry run says of the row it would deal
  switch (table.keyKind) {
    case FleetTable::KeyKind::Imei:
      row = FindRowByImei(table, imei);
      if (!row) return NotWritten("no-row", kExitDifferent, "the table has no row for IMEI " + imei);
      rowKey = imei;
      break;
    case FleetTable::KeyKind::Com:
      row = FindRowByPort(table, port, device);
      // A stable name (/dev/serial/by-id/...) leads to the port's device.
      for (std::size_t i = 0; !row && !device.empty() && i < table.rows.size(); ++i)
        if (SameDevice(table.rows[i].key, device)) row = &table.rows[i];
      if (!row)
        return NotWritten("no-row", kExitDifferent,
                          "the table has no row for " + (port > 0 ? "COM" + std::to_string(port) : device));
      rowKey = row->key;
      break;
    case FleetTable::KeyKind::None: {
      if (!setup.store) return NotWritten("claim-failed", kExitOutputFailed, "--assign needs the journal");
      // Identical rows are told apart by their occurrence.
      std::vector<std::string> texts;
      for (const FleetTable::Row& r : table.rows) texts.push_back(r.cellsText);
      const std::vector<std::string> ids = journal::RowClaimIds(setup.tableName, texts);
      int index = -1;
      std::string error;
      if (!claim) {
        // A dry run deals nothing; a tracker that holds a row shows it.
        if (!imei.empty() && !setup.store->HeldRow(setup.tableName, ids, imei, index, error))
          return NotWritten("claim-failed", kExitOutputFailed, "the journal could not be read: " + error);
        if (index < 0) {
          dealt = "a free row of the table is dealt on a real run; a dry run claims none";
          break;
        }
      } else if (!setup.store->Claim(setup.tableName, ids, imei, index, error)) {
        return NotWritten("claim-failed", kExitOutputFailed, "the journal could not deal a row: " + error);
      }
      if (index < 0)
        return NotWritten("no-row", kExitDifferent, "every row of the table is held by another tracker");
      row = &table.rows[static_cast<std::size_t>(index)];
      rowKey = "row " + std::to_string(index + 1);
      break;
    }
  }

  TrackerDecision d;
  d.rowKey = rowKey;
  d.message = row ? "table line " + std::to_string(row->line) : dealt;
  d.values = templateValues;
  if (row) MergeRow(*row, d.values);
  const std::vector<Problem> problems = CheckForSend(d.values, sendGroups, password);
  const bool allCappable =
      std::all_of(problems.begin(), problems.end(), [](const Problem& p) { return p.cappable(); });
  if (!problems.empty() && (!setup.allowCaps || !allCappable)) {
    std::string why;
    for (const Problem& p : problems)
      if (!setup.allowCaps || !p.cappable()) why += (why.empty() ? "" : "; ") + Origin(row, p) + Describe(p);
    TrackerDecision refused = NotWritten("refused", kExitUsage, why);
    refused.rowKey = rowKey;
    return WithRow(refused, row);
  }
  ApplyCorrections(problems, d.values);
  for (const Problem& p : problems)
    d.capped.push_back(CappedText(p));
  d.settingsHash = SettingsHashOf(d.values, sendGroups);

  if (setup.skipDone && setup.store && !imei.empty()) {
    journal::JournalRow last;
    bool found = false;
    std::string error;
    // Rows without a hash (a tracker an --imei run left alone, a failure
    // before the merge) say nothing of the settings it holds.
    if (setup.store->LastRow(imei, last, found, error, true) && found && last.command == "provision" &&
        (last.outcome == "equal" || last.outcome == "skipped") && last.settingsHash == d.settingsHash) {
      TrackerDecision skipped =
          NotWritten("skipped", kExitOk, "already done at " + last.time);
      skipped.rowKey = rowKey;
      skipped.settingsHash = d.settingsHash;
      return WithRow(skipped, row);
    }
  }
  d.write = true;
  return WithRow(d, row);
}

void CarryRowNotes(const TrackerDecision& decision, PortReport& report) {
  report.tableNotes = decision.notes;
  // Said first: the table was read before any port.
  report.notes.insert(report.notes.begin(), decision.tidied.begin(), decision.tidied.end());
}

}  // namespace kestrun::batch
