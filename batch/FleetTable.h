// A table of per-tracker values, made in a spreadsheet and saved as CSV: one
// row per tracker, keyed by its IMEI or its port (or by nothing, when the rows
// are dealt out in order), every other column a config file key named
// "SECTION/Key", an address as one dotted cell ("RVSRI/IP": 10.0.0.1) or a
// column of notes ("#Vehicle") that goes with the tracker's row but never to
// the tracker. The whole table is checked before any port is touched; every
// complaint names the line, the column and what is wrong.
#pragma once

#include <atomic>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "port/PortDiscovery.h"
#include "protocol/FormValues.h"

namespace kestrun::batch {

struct FleetTable {
  enum class KeyKind { Imei, Com, None };
  KeyKind keyKind = KeyKind::None;
  char delimiter = ',';
  // Every column as the header names it; value columns in their canonical
  // spelling ("RVKPN/PhoneNum1", "RVSRI/IP"), the key column as "IMEI" or
  // "COM", columns of notes as written ("#Vehicle").
  std::vector<std::string> columns;
  struct Row {
    int line = 0;     // 1-based line of the file the row starts on
    std::string key;  // the IMEI, "COM5", a device path; empty without a key column
    // "SECTION/Key" and value of every cell that is not empty, in column order;
    // a dotted address as its four octets ("RVSRI/IP1" to "RVSRI/IP4").
    std::vector<std::pair<std::string, std::string>> values;
    // The header as written ("#Vehicle") and the cell of every column of
    // notes whose cell is not empty, in column order.
    std::vector<std::pair<std::string, std::string>> notes;
    // One line per value cell that lost its spaces (or a phone number's
    // separators) before its check: "fleet.csv:3: column RVKPN/PhoneNum1:
    // '+49 151 7000000' -> '+491517000000'"; a secret's value is not shown.
    std::vector<std::string> tidied;
    // The value columns whose cells the table's check refused (they are in
    // `values` all the same); the provision check does not name them again.
    std::vector<std::string> refused;
    std::string cellsText;  // the row as the file holds it, without its line end
  };
  std::vector<Row> rows;
};

// The largest table read: its own limit, far above the settings files' 1 MiB,
// so that 100 000 trackers with a dozen values each fit.
constexpr std::size_t kMaxTableSize = 64 * 1024 * 1024;

// Reads and checks the table at `path`. `templateSections` are the sections
// ("RVSRI", ...) the template config file holds; a column of any other section
// is refused. Cells are split at ',', ';' or TAB (whichever the header holds
// most of), RFC 4180 quoting. Refused: a quote inside an unquoted cell or text
// after a closing quote (line and column), a header that is no key, no
// "SECTION/Key", no dotted address and no #notes column, a dotted address
// named with any of its octet keys, two rows for one port (a COM
// number, a device path and a stable name of it are one port, as `discovery`
// finds the ports), a UTF-8 cell with a C1 or bidirectional control; a cell
// that is not UTF-8 passes byte for byte. False with `problems` naming what is
// wrong (all of it, not just the first); `table` then holds what could be read.
// Once `stop` (when given) turns true, the rows left are not read and the
// table is refused with kStoppedReading (StoppedReading says so).
bool LoadFleetTable(const std::string& path, const std::set<std::string>& templateSections, FleetTable& table,
                    std::vector<std::string>& problems, const DiscoveryPaths& discovery = {},
                    const std::atomic<bool>* stop = nullptr);

// Why a table whose check was stopped is refused (its answer is not wanted).
inline constexpr const char* kStoppedReading = "its check was stopped before the end";

// True, with the table at `path` refused as stopped, once `stop` (when given) is true.
bool StoppedReading(const std::atomic<bool>* stop, const std::string& path, std::vector<std::string>& problems);

// The row of the tracker with this IMEI, or null.
const FleetTable::Row* FindRowByImei(const FleetTable& table, const std::string& imei);

// The row of the tracker on port COM`number` or on `device` (either may be
// empty/0), or null.
const FleetTable::Row* FindRowByPort(const FleetTable& table, int number, const std::string& device);

// Sets each of the row's values over `values` (a template's values); keys the
// row leaves empty keep what `values` holds.
void MergeRow(const FleetTable::Row& row, CFormValues& values);

}  // namespace kestrun::batch
