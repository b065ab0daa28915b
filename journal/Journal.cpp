#include "journal/Journal.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <random>
#include <type_traits>

#include "journal/JournalColumns.h"
#include "journal/JournalSql.h"
#include "journal/Sha256.h"
#include "port/Platform.h"
#include "port/Utf8Path.h"
#include "protocol/WholeNumber.h"

namespace kestrun::journal {

namespace fs = std::filesystem;

namespace {

const char* const kCreateRest = R"(
CREATE INDEX IF NOT EXISTS journal_imei ON journal(imei);
CREATE INDEX IF NOT EXISTS journal_time ON journal(time);
CREATE TABLE IF NOT EXISTS claims (
  table_name TEXT NOT NULL, row_id TEXT NOT NULL, imei TEXT NOT NULL, time TEXT NOT NULL,
  PRIMARY KEY (table_name, row_id)
);
CREATE INDEX IF NOT EXISTS claims_imei ON claims(table_name, imei);
CREATE INDEX IF NOT EXISTS journal_unsent ON journal(sent) WHERE sent = 0;
)";

// The tables, made on first use.
std::string CreateSql() {
  std::string sql = "CREATE TABLE IF NOT EXISTS journal (";
  for (const JournalColumnDef& c : kJournalColumns)
    sql += std::string(&c == kJournalColumns ? "\n  " : ",\n  ") + c.sql + " " + c.sqliteType;
  return sql + "\n);" + kCreateRest;
}

const std::string& Columns() {
  static const std::string list = ColumnList(false);
  return list;
}

// A prepared statement that finalizes itself. A failed prepare or bind is kept, and makes the
// next step fail (SQLITE_ERROR) without running the statement; callers check each step.
class CStatement {
 public:
  CStatement(sqlite3* db, const std::string& sql) {
    ok_ = sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr) == SQLITE_OK && stmt_ != nullptr;
  }
  ~CStatement() { sqlite3_finalize(stmt_); }
  CStatement(const CStatement&) = delete;
  CStatement& operator=(const CStatement&) = delete;
  explicit operator bool() const { return ok_; }
  void Bind(int index, const std::string& text) {
    Check(sqlite3_bind_text(stmt_, index, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT));
  }
  void Bind(int index, double value) { Check(sqlite3_bind_double(stmt_, index, value)); }
  void Bind(int index, int value) { Check(sqlite3_bind_int(stmt_, index, value)); }
  int Step() { return ok_ ? sqlite3_step(stmt_) : SQLITE_ERROR; }
  std::string Text(int column) const {
    const auto* text = sqlite3_column_text(stmt_, column);
    return text ? std::string(reinterpret_cast<const char*>(text), sqlite3_column_bytes(stmt_, column)) : "";
  }
  int Int(int column) const { return sqlite3_column_int(stmt_, column); }
  double Real(int column) const { return sqlite3_column_double(stmt_, column); }

 private:
  void Check(int code) { ok_ = ok_ && code == SQLITE_OK; }

  sqlite3_stmt* stmt_ = nullptr;
  bool ok_ = false;
};

bool Exec(sqlite3* db, const char* sql, std::string& error) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
  error = message ? message : sqlite3_errmsg(db);
  sqlite3_free(message);
  return false;
}

// A row selected with Columns(), in their order.
JournalRow RowFrom(const CStatement& s) {
  JournalRow r;
  int column = 0;
  for (const JournalColumnDef& c : kJournalColumns) {
    std::visit(
        [&](auto member) {
          using Value = std::remove_cvref_t<decltype(r.*member)>;
          if constexpr (std::is_same_v<Value, std::string>)
            r.*member = s.Text(column);
          else if constexpr (std::is_same_v<Value, double>)
            r.*member = s.Real(column);
          else if constexpr (std::is_same_v<Value, bool>)
            r.*member = s.Int(column) != 0;
          else
            r.*member = s.Int(column);
        },
        c.member);
    ++column;
  }
  return r;
}

// claims.sent: 1 when the shared server holds the claim for the same IMEI
// (recorded from it, or sent to it), 0 for a claim made here alone. Added
// without raising user_version, so that a station of the previous version
// still opens the journal: its claims get the default 0 and are sent on the
// next use of a shared journal, and it never looks at the column.
bool AddClaimsSent(sqlite3* db, std::string& why) {
  auto has = [db] {
    CStatement s(db, "SELECT 1 FROM pragma_table_info('claims') WHERE name = 'sent'");
    return s && s.Step() == SQLITE_ROW;
  };
  if (has()) return true;
  std::string ignored;
  const bool ok = Exec(db, "BEGIN IMMEDIATE", why) &&
                  (has() || Exec(db,
                                 "ALTER TABLE claims ADD COLUMN sent INTEGER NOT NULL DEFAULT 0;"
                                 "CREATE INDEX IF NOT EXISTS claims_unsent ON claims(sent) WHERE sent = 0",
                                 why)) &&
                  Exec(db, "COMMIT", why);
  if (!ok) Exec(db, "ROLLBACK", ignored);
  return ok;
}

// The nullable columns a journal made by an older version lacks, added in
// place; user_version stays, so that the older version still opens the file.
bool AddNullableColumns(sqlite3* db, std::string& why) {
  auto missing = [db] {
    std::vector<const JournalColumnDef*> columns;
    for (const JournalColumnDef& c : kJournalColumns) {
      if (!c.nullable) continue;
      CStatement s(db, "SELECT 1 FROM pragma_table_info('journal') WHERE name = ?");
      s.Bind(1, std::string(c.sql));
      if (s && s.Step() != SQLITE_ROW) columns.push_back(&c);
    }
    return columns;
  };
  if (missing().empty()) return true;
  std::string ignored;
  bool ok = Exec(db, "BEGIN IMMEDIATE", why);
  if (ok)  // another program may have added them meanwhile
    for (const JournalColumnDef* c : missing())
      ok = ok &&
           Exec(db, ("ALTER TABLE journal ADD COLUMN " + std::string(c->sql) + " " + c->sqliteType).c_str(),
                why);
  ok = ok && Exec(db, "COMMIT", why);
  if (!ok) Exec(db, "ROLLBACK", ignored);
  return ok;
}

}  // namespace

CJournal::~CJournal() { sqlite3_close(db_); }

std::string CJournal::DefaultPath() {
  const std::string folder = DataFolder();
  return folder.empty() ? "" : folder + "/journal.sqlite";
}

bool CJournal::Open(const std::string& path, std::string& error) {
  // Opening again (after a refused check, say) lets go of the earlier file first.
  sqlite3_close(db_);
  db_ = nullptr;
  if (path.empty()) {
    error = "no journal path: neither XDG_DATA_HOME nor HOME is set";
    return false;
  }
  // Missing folders are made private; folders that exist keep their mode.
  const fs::path file = PathFromUtf8(path);
  if (file.has_parent_path()) {
    fs::path made;
    for (const fs::path& part : file.parent_path()) {
      made /= part;
      if (const int made_error = MakePrivateFolder(Utf8OfPath(made)); made_error != 0 && made_error != EEXIST) {
        error = path + ": cannot make the folder " + Utf8OfPath(made) + ": " + std::strerror(made_error);
        return false;
      }
    }
  }
  // Created here first so that it is the user's alone; SQLite's own files follow its mode.
  if (const int created = CreatePrivateFile(path)) {
    error = path + ": " + std::strerror(created);
    return false;
  }
  if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    error = path + ": " + (db_ ? sqlite3_errmsg(db_) : "out of memory");
    sqlite3_close(db_);
    db_ = nullptr;
    return false;
  }
  sqlite3_busy_timeout(db_, 5000);
  std::string why;
  bool ok = Exec(db_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;", why);
  int schema = 0;
  if (ok) {
    CStatement version(db_, "PRAGMA user_version");
    if (version && version.Step() == SQLITE_ROW) schema = version.Int(0);
  }
  if (ok && schema > kJournalSchema) {
    ok = false;
    why = "made by a newer version (schema " + std::to_string(schema) + ")";
  }
  if (ok && schema < kJournalSchema)
    ok = Exec(db_, "BEGIN IMMEDIATE", why) && Exec(db_, CreateSql().c_str(), why) &&
         Exec(db_, ("PRAGMA user_version=" + std::to_string(kJournalSchema)).c_str(), why) &&
         Exec(db_, "COMMIT", why);
  ok = ok && AddClaimsSent(db_, why) && AddNullableColumns(db_, why);
  if (!ok) {
    error = path + ": " + why;
    sqlite3_close(db_);
    db_ = nullptr;
  }
  return ok;
}

bool CJournal::CheckIntegrity(std::string& error) const {
  if (!db_) {
    error = "the journal is not open";
    return false;
  }
  const char* name = sqlite3_db_filename(db_, "main");
  const std::string path = name ? name : "";
  // quick_check answers "ok", or one line per damage found (at most 3 asked for).
  CStatement check(db_, "PRAGMA quick_check(3)");
  std::string found;
  int step = check ? check.Step() : SQLITE_ERROR;
  for (; step == SQLITE_ROW; step = check.Step())
    if (const std::string line = check.Text(0); line != "ok") found += (found.empty() ? "" : "; ") + line;
  if (step != SQLITE_DONE && found.empty()) found = sqlite3_errmsg(db_);
  if (found.empty()) return true;
  error = path + ": the journal file is damaged (" + found + "); move it aside (mv '" + path + "' '" + path +
          ".damaged') and run again, which starts a new journal";
  return false;
}

bool CJournal::Append(JournalRow& row, std::string& error) {
  if (!db_) {
    error = "the journal is not open";
    return false;
  }
  if (row.id.empty()) row.id = NewRowId();
  if (row.time.empty()) row.time = UtcNow();
  std::string marks;
  // A nullable column's empty text is stored as NULL.
  for (const JournalColumnDef& c : kJournalColumns)
    marks += std::string(&c == kJournalColumns ? "" : ",") + (c.nullable ? "NULLIF(?, '')" : "?");
  CStatement s(db_, "INSERT INTO journal (" + Columns() + ") VALUES (" + marks + ")");
  if (!s) {
    error = sqlite3_errmsg(db_);
    return false;
  }
  int index = 1;
  for (const JournalColumnDef& c : kJournalColumns)
    std::visit(
        [&](auto member) {
          if constexpr (std::is_same_v<decltype(member), bool JournalRow::*>)
            s.Bind(index++, row.*member ? 1 : 0);
          else
            s.Bind(index++, row.*member);
        },
        c.member);
  // Outside an explicit transaction each statement is a transaction of its own.
  if (s.Step() != SQLITE_DONE) {
    error = sqlite3_errmsg(db_);
    return false;
  }
  return true;
}

bool CJournal::Rows(const JournalQuery& query, std::vector<JournalRow>& rows, std::string& error) const {
  return Select(RowsSql(query, SqlDialect::Sqlite, Columns()), rows, error);
}

bool CJournal::Devices(const JournalQuery& query, std::vector<DeviceLine>& devices,
                       std::string& error) const {
  devices.clear();
  JournalQuery newest = query;
  newest.latest = true;
  std::vector<JournalRow> rows;
  if (!Select(RowsSql(newest, SqlDialect::Sqlite, Columns(), true), rows, error)) return false;
  CStatement s(db_, VerifiedSql(SqlDialect::Sqlite));
  if (!s) {
    error = db_ ? sqlite3_errmsg(db_) : "the journal is not open";
    return false;
  }
  std::map<std::string, std::string> verified;
  int step;
  while ((step = s.Step()) == SQLITE_ROW) verified[s.Text(0)] = s.Text(1);
  if (step != SQLITE_DONE) {
    error = sqlite3_errmsg(db_);
    return false;
  }
  devices = DevicesFrom(rows, verified);
  return true;
}

bool CJournal::Select(const ListingSql& sql, std::vector<JournalRow>& rows, std::string& error) const {
  rows.clear();
  CStatement s(db_, sql.text);
  if (!s) {
    error = db_ ? sqlite3_errmsg(db_) : "the journal is not open";
    return false;
  }
  for (std::size_t i = 0; i < sql.values.size(); ++i) s.Bind(static_cast<int>(i + 1), sql.values[i]);
  int step;
  while ((step = s.Step()) == SQLITE_ROW) rows.push_back(RowFrom(s));
  if (step != SQLITE_DONE) {
    error = sqlite3_errmsg(db_);
    return false;
  }
  return true;
}

bool CJournal::HeldRow(const std::string& tableName, const std::vector<std::string>& rowIds,
                       const std::string& imei, int& index, std::string& error) const {
  index = -1;
  CStatement mine(db_, "SELECT row_id FROM claims WHERE table_name = ? AND imei = ? ORDER BY time DESC");
  if (!mine) {
    error = db_ ? sqlite3_errmsg(db_) : "the journal is not open";
    return false;
  }
  mine.Bind(1, tableName);
  mine.Bind(2, imei);
  int step;
  while (index < 0 && (step = mine.Step()) == SQLITE_ROW) {
    const auto it = std::find(rowIds.begin(), rowIds.end(), mine.Text(0));
    if (it != rowIds.end()) index = static_cast<int>(it - rowIds.begin());
  }
  return true;
}

bool CJournal::Claim(const std::string& tableName, const std::vector<std::string>& rowIds,
                     const std::string& imei, int& index, std::string& error) {
  index = -1;
  if (!db_) {
    error = "the journal is not open";
    return false;
  }
  auto failed = [&] {
    error = sqlite3_errmsg(db_);
    std::string ignored;
    Exec(db_, "ROLLBACK", ignored);
    return false;
  };
  // IMMEDIATE: two programs dealing from one journal take turns.
  if (!Exec(db_, "BEGIN IMMEDIATE", error)) return false;
  if (!HeldRow(tableName, rowIds, imei, index, error)) return failed();
  for (std::size_t i = 0; index < 0 && i < rowIds.size(); ++i) {
    CStatement take(db_,
                    "INSERT INTO claims (table_name, row_id, imei, time) VALUES (?,?,?,?) "
                    "ON CONFLICT DO NOTHING");
    if (!take) return failed();
    take.Bind(1, tableName);
    take.Bind(2, rowIds[i]);
    take.Bind(3, imei);
    take.Bind(4, UtcNow());
    if (take.Step() != SQLITE_DONE) return failed();
    if (sqlite3_changes(db_) == 1) index = static_cast<int>(i);
  }
  if (!Exec(db_, "COMMIT", error)) return failed();
  return true;
}

bool CJournal::RecordClaim(const std::string& tableName, const std::string& rowId, const std::string& imei,
                           std::string& error) {
  if (!db_) {
    error = "the journal is not open";
    return false;
  }
  CStatement s(db_,
               "INSERT INTO claims (table_name, row_id, imei, time, sent) VALUES (?,?,?,?,1) "
               "ON CONFLICT (table_name, row_id) DO UPDATE SET imei = excluded.imei, time = excluded.time, "
               "sent = 1");
  if (!s) {
    error = sqlite3_errmsg(db_);
    return false;
  }
  s.Bind(1, tableName);
  s.Bind(2, rowId);
  s.Bind(3, imei);
  s.Bind(4, UtcNow());
  if (s.Step() == SQLITE_DONE) return true;
  error = sqlite3_errmsg(db_);
  return false;
}

bool CJournal::UnsentClaims(std::vector<ClaimLine>& claims, std::string& error) const {
  claims.clear();
  CStatement s(db_, "SELECT table_name, row_id, imei, time FROM claims WHERE sent = 0 ORDER BY rowid");
  if (!s) {
    error = db_ ? sqlite3_errmsg(db_) : "the journal is not open";
    return false;
  }
  int step;
  while ((step = s.Step()) == SQLITE_ROW) claims.push_back({s.Text(0), s.Text(1), s.Text(2), s.Text(3)});
  if (step == SQLITE_DONE) return true;
  error = sqlite3_errmsg(db_);
  return false;
}

bool CJournal::MarkClaimsSent(const std::vector<ClaimLine>& claims, std::string& error) {
  if (!db_) {
    error = "the journal is not open";
    return false;
  }
  if (claims.empty()) return true;
  if (!Exec(db_, "BEGIN IMMEDIATE", error)) return false;
  bool ok = true;
  for (std::size_t i = 0; ok && i < claims.size(); ++i) {
    // A claim given to another IMEI meanwhile stays unsent.
    CStatement s(db_, "UPDATE claims SET sent = 1 WHERE table_name = ? AND row_id = ? AND imei = ?");
    ok = static_cast<bool>(s);
    if (ok) {
      s.Bind(1, claims[i].tableName);
      s.Bind(2, claims[i].rowId);
      s.Bind(3, claims[i].imei);
      ok = s.Step() == SQLITE_DONE;
    }
  }
  if (!ok) error = sqlite3_errmsg(db_);
  if (ok) ok = Exec(db_, "COMMIT", error);
  std::string ignored;
  if (!ok) Exec(db_, "ROLLBACK", ignored);
  return ok;
}

bool CJournal::UnsentRows(int limit, std::vector<JournalRow>& rows, std::string& error) const {
  rows.clear();
  CStatement s(db_, "SELECT " + Columns() + " FROM journal WHERE sent = 0 ORDER BY rowid LIMIT " +
                        std::to_string(limit));
  if (!s) {
    error = db_ ? sqlite3_errmsg(db_) : "the journal is not open";
    return false;
  }
  int step;
  while ((step = s.Step()) == SQLITE_ROW) rows.push_back(RowFrom(s));
  if (step == SQLITE_DONE) return true;
  error = sqlite3_errmsg(db_);
  return false;
}

bool CJournal::MarkSent(const std::vector<std::string>& ids, std::string& error) {
  if (!db_) {
    error = "the journal is not open";
    return false;
  }
  if (!Exec(db_, "PRAGMA synchronous=NORMAL; BEGIN IMMEDIATE", error)) return false;
  bool ok = true;
  for (std::size_t i = 0; ok && i < ids.size(); ++i) {
    CStatement s(db_, "UPDATE journal SET sent = 1 WHERE id = ?");
    ok = static_cast<bool>(s);
    if (ok) {
      s.Bind(1, ids[i]);
      ok = s.Step() == SQLITE_DONE;
    }
  }
  if (!ok) error = sqlite3_errmsg(db_);
  if (ok) ok = Exec(db_, "COMMIT", error);
  std::string ignored;
  if (!ok) Exec(db_, "ROLLBACK", ignored);
  // Every other write (the rows themselves) waits for the disk again.
  if (!Exec(db_, "PRAGMA synchronous=FULL", ignored) && ok) {
    error = ignored;
    ok = false;
  }
  return ok;
}

bool CJournal::CountUnsent(int& count, std::string& error) const {
  count = 0;
  CStatement s(db_, "SELECT count(*) FROM journal WHERE sent = 0");
  if (!s || s.Step() != SQLITE_ROW) {
    error = db_ ? sqlite3_errmsg(db_) : "the journal is not open";
    return false;
  }
  count = s.Int(0);
  return true;
}

std::string RowClaimId(const std::string& tableName, const std::string& cellsText, int occurrence) {
  // A row's text ends outside quotes, so "\n2" after it is never another row's text.
  const std::string text = tableName + "\n" + cellsText;
  return Sha256Hex(occurrence <= 1 ? text : text + "\n" + std::to_string(occurrence));
}

std::vector<std::string> RowClaimIds(const std::string& tableName,
                                     const std::vector<std::string>& cellsTexts) {
  std::vector<std::string> ids;
  std::map<std::string, int> seen;
  for (const std::string& cells : cellsTexts) ids.push_back(RowClaimId(tableName, cells, ++seen[cells]));
  return ids;
}

std::string SettingsHash(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return Sha256Hex(text);
}

bool ParseSince(const std::string& text, std::string& utc) {
  auto digits = [&](std::size_t from, std::size_t count) {
    for (std::size_t i = from; i < from + count; ++i)
      if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
    return true;
  };
  const bool date =
      text.size() >= 10 && digits(0, 4) && text[4] == '-' && digits(5, 2) && text[7] == '-' && digits(8, 2);
  if (!date) return false;
  std::string time = "00:00";
  if (text.size() == 16 && text[10] == 'T' && digits(11, 2) && text[13] == ':' && digits(14, 2))
    time = text.substr(11);
  else if (text.size() != 10)
    return false;
  // Every part below is two digits, checked above.
  auto number = [](const std::string& part) { return ParseWhole(part).value_or(0); };
  const long long month = number(text.substr(5, 2)), day = number(text.substr(8, 2));
  const long long hour = number(time.substr(0, 2)), minute = number(time.substr(3, 2));
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59) return false;
  utc = text.substr(0, 10) + "T" + time + ":00Z";
  return true;
}

std::string UtcNow() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm tm{};
  gmtime_r(&now, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return text;
}

std::string NewRowId() {
  // The system's random source (std::random_device reads it on every platform we build for);
  // it throws when there is none, so no id that could clash is made.
  std::random_device random;
  unsigned char b[16] = {};
  for (std::size_t i = 0; i < sizeof b; i += 4) {
    const unsigned int word = random();
    for (std::size_t k = 0; k < 4; ++k) b[i + k] = static_cast<unsigned char>(word >> (8 * k));
  }
  b[6] = static_cast<unsigned char>((b[6] & 0x0f) | 0x40);
  b[8] = static_cast<unsigned char>((b[8] & 0x3f) | 0x80);
  char text[40];
  std::snprintf(text, sizeof text, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14],
                b[15]);
  return text;
}

}  // namespace kestrun::journal
