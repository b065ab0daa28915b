// The table file as records: its bytes read with the table's size limit, the
// delimiter its header uses, and its text split into records of cells the way
// a spreadsheet writes CSV, with the place and reason of what cannot be split.
#pragma once

#include <atomic>
#include <string>
#include <vector>

namespace kestrun::batch {

// One record of the file: its cells, the line it starts on and its text.
struct CsvRecord {
  int line = 0;
  std::vector<std::string> cells;
  std::string text;
};

// Where and why the text could not be split into cells: `line` and `column`
// (1-based, the column counted in bytes of that line).
struct CsvSplitError {
  int line = 0;
  int column = 0;
  std::string why;
};

// Splits `text` into records: `delimiter` between cells, quoted cells with
// doubled quotes inside, CRLF, LF or CR between records (inside quotes they
// belong to the cell). Records of nothing but empty cells are left out.
// False when a quote stands inside a cell that does not start with one, when
// text follows a cell's closing quote, or when a quote is still open at the
// end: a spreadsheet writes none of these, and reading on would guess at the
// cell's value. Once `stop` (when given) turns true, it returns true at the
// next record's end with the records split so far: the caller refuses a
// stopped check.
bool SplitRecords(const std::string& text, char delimiter, std::vector<CsvRecord>& records,
                  CsvSplitError& error, const std::atomic<bool>* stop = nullptr);

// The header's delimiter: whichever of ',', ';' and TAB its first line holds
// most of outside quotes (column names hold none of them); a comma on a tie.
char DetectDelimiter(const std::string& text);

// The table's bytes: a regular file of at most kMaxTableSize bytes. False
// with `problem` set.
bool ReadTableFile(const std::string& path, std::string& text, std::string& problem);

}  // namespace kestrun::batch
