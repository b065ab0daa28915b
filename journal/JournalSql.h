// The listing statements of both journals (the local SQLite one and the
// shared PostgreSQL one) from one JournalQuery, so that a filter means the
// same wherever the rows are read.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "journal/Journal.h"

namespace kestrun::journal {

enum class SqlDialect { Sqlite, Postgres };

struct ListingSql {
  std::string text;
  std::vector<std::string> values;  // bound in order, all as text
};

// SELECT `columns` of the rows `query` asks for: newest first, or by IMEI
// (`byImei`, for devices), at most query.limit of them (0: all).
ListingSql RowsSql(const JournalQuery& query, SqlDialect dialect, const std::string& columns,
                   bool byImei = false);

// Pairs of IMEI and the time of its newest verify or provision whose read-back was equal.
std::string VerifiedSql(SqlDialect dialect);

// Device lines from each tracker's newest row and its verified times.
std::vector<DeviceLine> DevicesFrom(const std::vector<JournalRow>& newest,
                                    const std::map<std::string, std::string>& verified);

}  // namespace kestrun::journal
