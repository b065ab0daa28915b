// The one writer of a CSV cell, for every CSV the command line writes (the
// report of a batch, journal --csv, journal devices --csv), so that a script
// reads them alike and a spreadsheet opens them as text.
#pragma once

#include <string>
#include <string_view>

namespace kestrun::cli {

// `value` as one RFC 4180 field, in this order:
// - a value that starts with =, +, -, @, TAB or CR gets a leading ' (a
//   spreadsheet would take it as a formula), unless it is wholly a plain
//   number ("-5", "12.5") or a phone number ("+4917..."), which stay as
//   they are;
// - control bytes are written as \xHH, as on the terminal, so that neither a
//   terminal nor a line-based reader meets them;
// - a field holding a comma or a double quote is put in double quotes, its
//   double quotes doubled.
std::string CsvField(std::string_view value);

}  // namespace kestrun::cli
