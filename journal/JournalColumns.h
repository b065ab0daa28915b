// The columns of a journal row, stated once: the local and the shared journal's
// statements, their binds and row reading, and rv450-cli's CSV and JSON come from here.
#pragma once

#include <string>
#include <variant>

#include "journal/Journal.h"

namespace kestrun::journal {

struct JournalColumnDef {
  const char* sql;         // the column's name in both databases
  const char* sqliteType;  // its type and constraints in the local journal
  const char* serverType;  // in the shared journal; nullptr: kept locally only
  const char* jsonName;    // its name in the CSV header and the JSON members
  std::variant<std::string JournalRow::*, int JournalRow::*, double JournalRow::*, bool JournalRow::*> member;
};

// In the order of the tables' columns (which is also the CSV and JSON order).
extern const JournalColumnDef kJournalColumns[22];

// "id, time, ...": the column names, for statements; `server`: only those the shared journal holds,
// each in double quotes ("user" is a reserved word there).
std::string ColumnList(bool server);

}  // namespace kestrun::journal
