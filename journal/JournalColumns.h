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
  // A column added after the tables were first made: it may be NULL (an empty
  // text is stored as NULL), and a program adds it to a table made without it
  // (ALTER TABLE) without raising the schema version. Programs of the older
  // version name their columns in every statement, so they read and write the
  // table as before and their rows hold NULL there.
  bool nullable = false;
};

// In the CSV and JSON order: the columns of the first tables, then those added later.
extern const JournalColumnDef kJournalColumns[23];

// "id, time, ...": the column names, for statements; `server`: only those the shared journal holds,
// each in double quotes ("user" is a reserved word there).
std::string ColumnList(bool server);

}  // namespace kestrun::journal
