#include "journal/ServerJournal.h"

#include <libpq-fe.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <type_traits>

#include "journal/JournalColumns.h"
#include "journal/JournalSql.h"
#include "journal/RowOrigin.h"
#include "journal/ServerString.h"
#include "protocol/JsonText.h"
#include "protocol/WholeNumber.h"

namespace kestrun::journal {

namespace {

// A statement's result, cleared when it goes out of scope.
struct ResultClear {
  void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultClear>;

// Made under a lock that every station takes, so that two first uses at once
// do not both create the tables.
const char* const kCreateRest = R"(
CREATE INDEX IF NOT EXISTS rv450_journal_imei ON rv450_journal (imei);
CREATE INDEX IF NOT EXISTS rv450_journal_time ON rv450_journal (time);
CREATE TABLE IF NOT EXISTS rv450_claims (
  table_name text NOT NULL, row_id text NOT NULL, imei text NOT NULL, time text NOT NULL,
  station text NOT NULL,
  CONSTRAINT rv450_claims_row UNIQUE (table_name, row_id)
);
CREATE INDEX IF NOT EXISTS rv450_claims_imei ON rv450_claims (table_name, imei);
)";

// The tables; the journal's columns are the local journal's but for `sent`, and the time the
// server received the row.
std::string CreateSql() {
  std::string sql = "CREATE TABLE IF NOT EXISTS rv450_journal (";
  for (const JournalColumnDef& c : kJournalColumns)
    if (c.serverType) sql += std::string("\n  \"") + c.sql + "\" " + c.serverType + ",";
  return sql + "\n  received timestamptz NOT NULL DEFAULT now()\n);" + kCreateRest;
}

// libpq's messages run over several lines; one line reads better after "journal: ".
std::string OneLine(const std::string& text) {
  std::string line;
  for (char c : text) {
    const bool space = c == '\n' || c == '\t' || c == '\r' || c == ' ';
    if (!space)
      line += c;
    else if (!line.empty() && line.back() != ' ')
      line += ' ';
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

std::string Without(std::string text, const std::string& secret) {
  if (secret.empty()) return text;
  for (std::size_t at; (at = text.find(secret)) != std::string::npos;) text.replace(at, secret.size(), "***");
  return text;
}

// The server takes only valid UTF-8 and no NUL, and one refused row would
// hold back every row after it: bytes it would refuse become U+FFFD.
std::string ServerText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = text[i] == '\0' ? 0 : Utf8Length(text, i);
    if (length > 0) {
      out.append(text, i, length);
      i += length;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out;
}

std::string Number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

}  // namespace

std::string MaskedUrl(const std::string& url) { return MaskServerString(url); }

CServerJournal::~CServerJournal() { Close(); }

void CServerJournal::Close() {
  if (conn_) PQfinish(conn_);
  conn_ = nullptr;
}

bool CServerJournal::Connected() const { return conn_ && PQstatus(conn_) == CONNECTION_OK; }

bool CServerJournal::Connect(const std::string& given, std::string& error) {
  Close();
  password_.clear();
  // libpq reads the scheme in lower case only; its messages quote the parts
  // of a malformed string, so each one is masked against the whole string.
  const std::string url = NormalServerString(given);
  const std::size_t scheme = url.find("://");
  if (scheme != std::string::npos) {
    const std::size_t path = std::min(url.find_first_of("/?", scheme + 3), url.size());
    const std::size_t first = url.find('@', scheme + 3);
    if (first < path && url.find('@', first + 1) < path) {
      error =
          "the URL holds '@' more than once before its host: write an '@' of the user or the password as %40";
      return false;
    }
  }
  char* parseError = nullptr;
  if (PQconninfoOption* options = PQconninfoParse(url.c_str(), &parseError)) {
    for (PQconninfoOption* o = options; o->keyword; ++o)
      if (std::string(o->keyword) == "password" && o->val) password_ = o->val;
    PQconninfoFree(options);
  } else {
    error = parseError ? MaskSecrets(OneLine(parseError), url) : "not a connection URL";
    PQfreemem(parseError);
    return false;
  }
  // The URL's own connect_timeout, given after ours, wins.
  const std::string timeout = std::to_string(kConnectSeconds);
  const char* keywords[] = {"connect_timeout", "fallback_application_name", "client_encoding", "dbname",
                            nullptr};
  const char* values[] = {timeout.c_str(), "rv450-kestrun", "UTF8", url.c_str(), nullptr};
  conn_ = PQconnectdbParams(keywords, values, 1);
  if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
    error = conn_ ? MaskSecrets(Without(OneLine(PQerrorMessage(conn_)), password_), url) : "out of memory";
    Close();
    return false;
  }
  // "relation already exists, skipping" and the like are no news for anyone.
  PQsetNoticeProcessor(
      conn_, [](void*, const char*) {}, nullptr);

  // A station that may only write rows (no CREATE on the schema) uses tables
  // someone else made: nothing is created when the version is current.
  std::vector<std::string> made, version;
  bool ok = Exec("BEGIN", {}, error) && Exec("SELECT pg_advisory_xact_lock(4507450001)", {}, error) &&
            Exec("SELECT to_regclass('rv450_schema') IS NOT NULL", {}, error, &made);
  if (ok && (made.empty() || made[0] != "t"))
    ok = Exec("CREATE TABLE rv450_schema (version integer NOT NULL)", {}, error);
  ok = ok && Exec("SELECT coalesce(max(version), 0) FROM rv450_schema", {}, error, &version);
  const int schema = ok && !version.empty() ? static_cast<int>(ParseWhole(version[0]).value_or(0)) : 0;
  if (ok && schema > kServerSchema) {
    error = "made by a newer version (schema " + std::to_string(schema) + ")";
    ok = false;
  }
  if (ok && schema < kServerSchema)
    ok = Exec(CreateSql(), {}, error) && Exec("DELETE FROM rv450_schema", {}, error) &&
         Exec("INSERT INTO rv450_schema (version) VALUES ($1)", {std::to_string(kServerSchema)}, error);
  ok = ok && Exec("COMMIT", {}, error);
  if (!ok) {
    Close();
    return false;
  }
  AddNullableColumns();
  return true;
}

void CServerJournal::AddNullableColumns() {
  std::vector<std::string> names;
  std::string error;
  columns_.clear();
  if (!Exec("SELECT attname FROM pg_attribute WHERE attrelid = 'rv450_journal'::regclass AND attnum > 0 "
            "AND NOT attisdropped",
            {}, error, &names))
    names.clear();
  for (const JournalColumnDef& c : kJournalColumns) {
    if (!c.serverType) continue;
    bool present = std::find(names.begin(), names.end(), c.sql) != names.end();
    // Under the tables' lock, so that two stations do not add it at once.
    if (!present && c.nullable)
      present = Exec("BEGIN", {}, error) && Exec("SELECT pg_advisory_xact_lock(4507450001)", {}, error) &&
                Exec("ALTER TABLE rv450_journal ADD COLUMN IF NOT EXISTS \"" + std::string(c.sql) + "\" " +
                         c.serverType,
                     {}, error) &&
                Exec("COMMIT", {}, error);
    if (present || !c.nullable) columns_.push_back(&c);
  }
}

std::string CServerJournal::Columns() const {
  std::string list;
  for (const JournalColumnDef* c : columns_)
    list += (list.empty() ? "\"" : ", \"") + std::string(c->sql) + "\"";
  return list;
}

bool CServerJournal::Select(const std::string& sql, const std::vector<std::string>& values,
                            std::vector<JournalRow>& rows, std::string& error) {
  rows.clear();
  std::vector<std::string> fields;
  if (!Exec(sql, values, error, &fields)) return false;
  const std::size_t width = columns_.size();
  for (std::size_t at = 0; width > 0 && at + width <= fields.size(); at += width) {
    JournalRow r;
    for (std::size_t k = 0; k < width; ++k) {
      const std::string& text = fields[at + k];
      std::visit(
          [&](auto member) {
            using Value = std::remove_cvref_t<decltype(r.*member)>;
            if constexpr (std::is_same_v<Value, std::string>)
              r.*member = text;
            else if constexpr (std::is_same_v<Value, double>)
              r.*member = std::strtod(text.c_str(), nullptr);
            else if constexpr (std::is_same_v<Value, bool>)
              r.*member = text == "t";
            else
              r.*member = static_cast<int>(ParseWhole(text).value_or(0));
          },
          columns_[k]->member);
    }
    rows.push_back(std::move(r));
  }
  return true;
}

bool CServerJournal::Rows(const JournalQuery& query, std::vector<JournalRow>& rows, std::string& error) {
  const ListingSql sql = RowsSql(query, SqlDialect::Postgres, Columns());
  return Select(sql.text, sql.values, rows, error);
}

bool CServerJournal::Devices(const JournalQuery& query, std::vector<DeviceLine>& devices,
                             std::string& error) {
  devices.clear();
  JournalQuery newest = query;
  newest.latest = true;
  const ListingSql sql = RowsSql(newest, SqlDialect::Postgres, Columns(), true);
  std::vector<JournalRow> rows;
  std::vector<std::string> pairs;
  if (!Select(sql.text, sql.values, rows, error) ||
      !Exec(VerifiedSql(SqlDialect::Postgres), {}, error, &pairs))
    return false;
  std::map<std::string, std::string> verified;
  for (std::size_t k = 0; k + 1 < pairs.size(); k += 2) verified[pairs[k]] = pairs[k + 1];
  devices = DevicesFrom(rows, verified);
  return true;
}

bool CServerJournal::Exec(const std::string& sql, const std::vector<std::string>& values, std::string& error,
                          std::vector<std::string>* column) {
  if (!conn_) {
    error = "not connected";
    return false;
  }
  std::vector<const char*> params;
  for (const std::string& value : values) params.push_back(value.c_str());
  const Result owned(values.empty() ? PQexec(conn_, sql.c_str())
                                    : PQexecParams(conn_, sql.c_str(), static_cast<int>(params.size()),
                                                   nullptr, params.data(), nullptr, nullptr, 0));
  PGresult* const result = owned.get();
  const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
  const bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
  if (ok && column) {
    column->clear();
    for (int i = 0; i < PQntuples(result); ++i)
      for (int k = 0; k < PQnfields(result); ++k) column->push_back(PQgetvalue(result, i, k));
  }
  if (!ok) return Failed(error);
  return true;
}

bool CServerJournal::Failed(std::string& error) {
  error = Without(OneLine(PQerrorMessage(conn_)), password_);
  if (error.empty()) error = "the server refused the statement";
  // A transaction that failed is ended, so that the connection can be used again.
  if (PQstatus(conn_) == CONNECTION_OK && PQtransactionStatus(conn_) != PQTRANS_IDLE)
    const Result rollback(PQexec(conn_, "ROLLBACK"));
  return false;
}

bool CServerJournal::Insert(const std::vector<JournalRow>& rows, std::string& error) {
  if (rows.empty()) return true;
  // One statement: its rows are committed together or not at all.
  std::string sql = "INSERT INTO rv450_journal (" + Columns() + ") VALUES ";
  std::vector<std::string> values;
  for (const JournalRow& r : rows) {
    sql += values.empty() ? "(" : ",(";
    bool first = true;
    for (const JournalColumnDef* column : columns_) {
      const JournalColumnDef& c = *column;
      const std::string mark = "$" + std::to_string(values.size() + 1);
      // A nullable column's empty text is stored as NULL.
      sql += (first ? "" : ",") + (c.nullable ? "NULLIF(" + mark + ", '')" : mark);
      first = false;
      std::visit(
          [&](auto member) {
            using Value = std::remove_cvref_t<decltype(r.*member)>;
            if constexpr (std::is_same_v<Value, std::string>)
              values.push_back(ServerText(r.*member));
            else if constexpr (std::is_same_v<Value, double>)
              values.push_back(Number(r.*member));
            else
              values.push_back(std::to_string(r.*member));
          },
          c.member);
    }
    sql += ")";
  }
  sql += " ON CONFLICT (id) DO NOTHING";
  return Exec(sql, values, error);
}

bool CServerJournal::Claim(const std::string& tableName, const std::vector<std::string>& rowIds,
                           const std::string& imei, int& index, std::string& error) {
  index = -1;
  const std::string table = ServerText(tableName), holder = ServerText(imei);
  std::vector<std::string> ids;
  for (const std::string& id : rowIds) ids.push_back(ServerText(id));
  std::vector<std::string> mine, held;
  if (!Exec("BEGIN", {}, error) ||
      !Exec("SELECT pg_advisory_xact_lock(hashtext('rv450_claims'), hashtext($1))", {table}, error) ||
      !Exec("SELECT row_id FROM rv450_claims WHERE table_name = $1 AND imei = $2 ORDER BY time DESC",
            {table, holder}, error, &mine))
    return false;
  for (std::size_t i = 0; index < 0 && i < mine.size(); ++i) {
    const auto it = std::find(ids.begin(), ids.end(), mine[i]);
    if (it != ids.end()) index = static_cast<int>(it - ids.begin());
  }
  if (index >= 0) return Commit(index, error);
  if (!Exec("SELECT row_id FROM rv450_claims WHERE table_name = $1", {table}, error, &held)) return false;
  const std::set<std::string> taken(held.begin(), held.end());
  for (std::size_t i = 0; index < 0 && i < ids.size(); ++i)
    if (!taken.count(ids[i])) index = static_cast<int>(i);
  // The lock keeps other stations out meanwhile; the key would refuse a second holder anyway.
  if (index >= 0 &&
      !Exec("INSERT INTO rv450_claims (table_name, row_id, imei, time, station) "
            "VALUES ($1, $2, $3, $4, $5)",
            {table, ids[static_cast<std::size_t>(index)], holder, UtcNow(), ServerText(StationName())},
            error)) {
    index = -1;
    return false;
  }
  return Commit(index, error);
}

bool CServerJournal::SendClaims(const std::vector<ClaimLine>& claims, std::vector<std::string>& holders,
                                std::string& error) {
  holders.assign(claims.size(), "");
  // Each table under its lock, in its own transaction, a batch per statement.
  std::map<std::string, std::vector<std::size_t>> byTable;
  for (std::size_t i = 0; i < claims.size(); ++i) byTable[ServerText(claims[i].tableName)].push_back(i);
  constexpr std::size_t kBatch = 500;
  const std::string station = ServerText(StationName());
  for (const auto& [table, all] : byTable) {
    if (!Exec("BEGIN", {}, error) ||
        !Exec("SELECT pg_advisory_xact_lock(hashtext('rv450_claims'), hashtext($1))", {table}, error))
      return false;
    for (std::size_t from = 0; from < all.size(); from += kBatch) {
      const std::vector<std::size_t> batch(
          all.begin() + static_cast<std::ptrdiff_t>(from),
          all.begin() + static_cast<std::ptrdiff_t>(std::min(all.size(), from + kBatch)));
      std::string insert = "INSERT INTO rv450_claims (table_name, row_id, imei, time, station) VALUES ";
      std::string select = "SELECT row_id, imei FROM rv450_claims WHERE table_name = $1 AND row_id IN (";
      std::vector<std::string> values, keys = {table};
      for (std::size_t i : batch) {
        const std::size_t at = values.size();
        insert += (at ? ",($" : "($") + std::to_string(at + 1) + ",$" + std::to_string(at + 2) + ",$" +
                  std::to_string(at + 3) + ",$" + std::to_string(at + 4) + ",$" + std::to_string(at + 5) +
                  ")";
        values.insert(values.end(), {table, ServerText(claims[i].rowId), ServerText(claims[i].imei),
                                     ServerText(claims[i].time), station});
        keys.push_back(ServerText(claims[i].rowId));
        select += (keys.size() > 2 ? ",$" : "$") + std::to_string(keys.size());
      }
      std::vector<std::string> held;
      if (!Exec(insert + " ON CONFLICT (table_name, row_id) DO NOTHING", values, error) ||
          !Exec(select + ")", keys, error, &held))
        return false;
      std::map<std::string, std::string> holder;
      for (std::size_t k = 0; k + 1 < held.size(); k += 2) holder[held[k]] = held[k + 1];
      for (std::size_t i : batch) {
        const std::string& imei = holder[ServerText(claims[i].rowId)];
        holders[i] = imei == ServerText(claims[i].imei) ? claims[i].imei : imei;
      }
    }
    if (!Exec("COMMIT", {}, error)) return false;
  }
  return true;
}

bool CServerJournal::Commit(int& index, std::string& error) {
  if (Exec("COMMIT", {}, error)) return true;
  index = -1;
  return false;
}

}  // namespace kestrun::journal
