#include "journal/JournalColumns.h"

namespace kestrun::journal {

namespace {

constexpr const char* kText = "TEXT NOT NULL";
constexpr const char* kServerText = "text NOT NULL";

}  // namespace

const JournalColumnDef kJournalColumns[23] = {
    {"id", "TEXT PRIMARY KEY NOT NULL", "text PRIMARY KEY", "id", &JournalRow::id},
    {"time", kText, kServerText, "time", &JournalRow::time},
    {"station", kText, kServerText, "station", &JournalRow::station},
    {"user", kText, kServerText, "user", &JournalRow::user},
    {"program", kText, kServerText, "program", &JournalRow::program},
    {"version", kText, kServerText, "version", &JournalRow::version},
    {"port", kText, kServerText, "port", &JournalRow::port},
    {"device", kText, kServerText, "device", &JournalRow::device},
    {"imei", kText, kServerText, "imei", &JournalRow::imei},
    {"iccid", kText, kServerText, "iccid", &JournalRow::iccid},
    {"firmware", kText, kServerText, "firmware", &JournalRow::firmware},
    {"signal", kText, kServerText, "signal", &JournalRow::signal},
    {"command", kText, kServerText, "command", &JournalRow::command},
    {"template", kText, kServerText, "template", &JournalRow::templateFile},
    {"settings_hash", kText, kServerText, "settingsHash", &JournalRow::settingsHash},
    {"row_key", kText, kServerText, "rowKey", &JournalRow::rowKey},
    {"groups_sent", kText, kServerText, "groups", &JournalRow::groups},
    {"outcome", kText, kServerText, "outcome", &JournalRow::outcome},
    {"exit_code", "INTEGER NOT NULL", "integer NOT NULL", "exitCode", &JournalRow::exitCode},
    {"message", kText, kServerText, "message", &JournalRow::message},
    {"seconds", "REAL NOT NULL", "double precision NOT NULL", "seconds", &JournalRow::seconds},
    {"sent", "INTEGER NOT NULL DEFAULT 0", nullptr, "sent", &JournalRow::sent},
    {"notes", "TEXT", "text", "notes", &JournalRow::notes, true},
};

std::string ColumnList(bool server) {
  std::string list;
  for (const JournalColumnDef& c : kJournalColumns) {
    if (server && !c.serverType) continue;
    list += list.empty() ? "" : ", ";
    list += server ? "\"" + std::string(c.sql) + "\"" : c.sql;
  }
  return list;
}

}  // namespace kestrun::journal
