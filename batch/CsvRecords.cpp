#include "batch/CsvRecords.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "batch/FleetTable.h"
#include "port/Platform.h"
#include "port/SystemError.h"
#include "protocol/Trimmed.h"

namespace kestrun::batch {

bool SplitRecords(const std::string& text, char delimiter, std::vector<CsvRecord>& records,
                  CsvSplitError& error, const std::atomic<bool>* stop) {
  CsvRecord record{1, {""}, ""};
  int line = 1;
  std::size_t lineStart = 0;  // where the current line begins in `text`
  bool quoted = false, quotedCell = false, closed = false;
  std::size_t start = 0;
  auto finish = [&](std::size_t end) {
    record.text = text.substr(start, end - start);
    const bool blank = std::all_of(record.cells.begin(), record.cells.end(),
                                   [](const std::string& c) { return Trimmed(c).empty(); });
    if (!blank || quotedCell) records.push_back(record);
    record = CsvRecord{line, {""}, ""};
    quotedCell = false;
  };
  auto refuse = [&](std::size_t at, const char* why) {
    error = {line, static_cast<int>(at - lineStart) + 1, why};
    return false;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool lineEnd = c == '\r' || c == '\n';
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        record.cells.back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
        closed = true;
      } else {
        if (c == '\n' || (c == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))) {
          ++line;
          lineStart = i + 1;
        }
        record.cells.back() += c;
      }
    } else if (closed && c != delimiter && !lineEnd) {
      return refuse(i, "text after the closing quote of a cell (a quoted cell ends at its delimiter)");
    } else if (c == '"' && record.cells.back().empty()) {
      quoted = quotedCell = true;
    } else if (c == '"') {
      return refuse(i,
                    "a quote inside a cell that does not start with one (quote the whole cell and double "
                    "the quote: \"a\"\"b\")");
    } else if (c == delimiter) {
      record.cells.emplace_back();
      closed = false;
    } else if (lineEnd) {
      const std::size_t end = i;
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      ++line;
      lineStart = i + 1;
      closed = false;
      finish(end);
      start = i + 1;
      if (stop && *stop) return true;
    } else {
      record.cells.back() += c;
    }
  }
  if (quoted) {
    error = {record.line, 0, "a quoted cell is never closed"};
    return false;
  }
  if (start < text.size()) finish(text.size());
  return true;
}

char DetectDelimiter(const std::string& text) {
  int commas = 0, semicolons = 0, tabs = 0;
  bool quoted = false;
  for (char c : text) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == '\r' || c == '\n') break;
    commas += c == ',';
    semicolons += c == ';';
    tabs += c == '\t';
  }
  if (tabs > commas && tabs > semicolons) return '\t';
  return semicolons > commas ? ';' : ',';
}

bool ReadTableFile(const std::string& path, std::string& text, std::string& problem) {
  struct stat st;
  if (const int error = StatPath(path, st); error != 0) {
    problem = path + ": " + SystemReason(error);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    problem = path + ": not a regular file";
    return false;
  }
  auto tooLarge = [&](std::uintmax_t size) {
    problem = path + ": the table is " + std::to_string(size) + " bytes, more than the " +
              std::to_string(kMaxTableSize) + " bytes (" + std::to_string(kMaxTableSize / (1024 * 1024)) +
              " MiB) a table may have: split it into several tables";
    return false;
  };
  if (static_cast<std::uintmax_t>(st.st_size) > kMaxTableSize) return tooLarge(st.st_size);
  const int fd = OpenForReading(path, false);
  if (fd < 0) {
    problem = path + ": " + SystemReason(-fd);
    return false;
  }
  text.clear();
  const int failed = ReadOpenFile(fd, text, kMaxTableSize);
  ::close(fd);
  if (failed != 0) {
    problem = path + ": " + SystemReason(failed);
    return false;
  }
  if (text.size() > kMaxTableSize) return tooLarge(text.size());  // it grew while being read
  return true;
}

}  // namespace kestrun::batch
