#include "journal/JournalSql.h"

namespace kestrun::journal {

namespace {

// A failure (status 3 and up: port, tracker, output, stopped) or differences
// found after a write; a diff's differences are its result.
constexpr const char* kFailed = "(exit_code >= 3 OR (outcome = 'different' AND command <> 'diff'))";

}  // namespace

ListingSql RowsSql(const JournalQuery& query, SqlDialect dialect, const std::string& columns, bool byImei) {
  const bool server = dialect == SqlDialect::Postgres;
  ListingSql sql;
  auto mark = [&](const std::string& value) {
    sql.values.push_back(value);
    return server ? "$" + std::to_string(sql.values.size()) : std::string("?");
  };
  // Rows of equal times keep the order they were added in: the local rowid,
  // the server's time of receipt (then the id, for rows of one statement).
  const std::string order = server ? "seq DESC, id DESC" : "seq DESC";
  const std::string added = server ? "received DESC, id DESC" : "rowid DESC";  // the same, inside the select
  std::string before, after;  // the filters on every row, and on each tracker's newest
  if (!query.imei.empty()) before += " AND imei = " + mark(query.imei);
  if (!query.imeis.empty()) {
    std::string list;
    for (const std::string& imei : query.imeis) list += (list.empty() ? "" : ",") + mark(imei);
    before += " AND imei IN (" + list + ")";
  }
  if (!query.since.empty()) before += " AND time >= " + mark(query.since);
  if (query.withHash) before += " AND settings_hash <> ''";
  if (query.latest) before += " AND imei <> ''";
  std::string& outcomes = query.latest ? after : before;
  if (!query.outcome.empty()) outcomes += " AND outcome = " + mark(query.outcome);
  if (query.failed) outcomes += std::string(" AND ") + kFailed;

  const std::string seq = server ? "received AS seq" : "rowid AS seq";
  const std::string table = server ? "rv450_journal" : "journal";
  std::string inner = "SELECT " + columns + ", " + seq;
  if (query.latest)
    inner += ", row_number() OVER (PARTITION BY imei ORDER BY time DESC, " + added + ") AS newest";
  inner += " FROM " + table + " WHERE TRUE" + before;
  sql.text = "SELECT " + columns + " FROM (" + inner + ") j WHERE TRUE" +
             (query.latest ? " AND newest = 1" : "") + after + " ORDER BY " + (byImei ? "imei, " : "") +
             "time DESC, " + order;
  if (query.limit > 0) sql.text += " LIMIT " + std::to_string(query.limit);
  return sql;
}

std::string VerifiedSql(SqlDialect dialect) {
  return std::string("SELECT imei, max(time) FROM ") +
         (dialect == SqlDialect::Postgres ? "rv450_journal" : "journal") +
         " WHERE imei <> '' AND outcome = 'equal' AND command IN ('verify', 'provision') GROUP BY imei";
}

std::vector<DeviceLine> DevicesFrom(const std::vector<JournalRow>& newest,
                                    const std::map<std::string, std::string>& verified) {
  std::vector<DeviceLine> devices;
  for (const JournalRow& r : newest) {
    const auto it = verified.find(r.imei);
    devices.push_back({r.imei, r.iccid, r.firmware, r.time, r.outcome, r.settingsHash, r.station, r.port,
                       r.rowKey, r.notes, it == verified.end() ? "" : it->second});
  }
  return devices;
}

}  // namespace kestrun::journal
