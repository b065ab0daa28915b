// Every column of a journal row goes into the local journal and comes back out
// through `rv450-cli journal` as JSON and CSV, under its own name, which the
// man page explains.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <type_traits>

#include "../support/TestFiles.h"
#include "cli/JournalCommand.h"
#include "journal/JournalColumns.h"

using namespace kestrun;

TEST(JournalColumnsTest, ARowRoundTripsThroughSqliteJsonAndCsv) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::path(::testing::TempDir()) / ("journal-columns-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string path = (dir / "journal.sqlite").string();
  // Each text column holds its own name, so that two columns swapped show.
  journal::JournalRow row;
  int number = 3;
  for (const journal::JournalColumnDef& c : journal::kJournalColumns)
    std::visit(
        [&](auto member) {
          using Value = std::remove_cvref_t<decltype(row.*member)>;
          if constexpr (std::is_same_v<Value, std::string>)
            row.*member = std::string(c.jsonName) + "-value";
          else if constexpr (std::is_same_v<Value, bool>)
            row.*member = true;
          else
            row.*member = static_cast<Value>(number++) + static_cast<Value>(0.5);
        },
        c.member);
  {
    journal::CJournal db;
    std::string error;
    ASSERT_TRUE(db.Open(path, error)) << error;
    ASSERT_TRUE(db.Append(row, error)) << error;
  }
  cli::Options o;
  std::ostringstream json, csv, err;
  o.json = true;
  ASSERT_EQ(cli::RunJournal(o, path, json, err), 0) << err.str();
  o.json = false;
  o.csv = true;
  ASSERT_EQ(cli::RunJournal(o, path, csv, err), 0) << err.str();

  const nlohmann::ordered_json read = nlohmann::ordered_json::parse(json.str());
  std::string header, line, names = "schema", readNames;
  const std::string page = kestrun::testing::ReadFile(KESTRUN_SOURCE_DIR "/data/man/rv450-cli.1");
  for (const cli::JournalColumn& c : cli::JournalColumns(row)) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(read.contains(c.name));
    EXPECT_NE(page.find("\n.TP\n.B " + std::string(c.name) + "\n"), std::string::npos);  // explained
    EXPECT_EQ(c.bare ? read[c.name].dump() : read[c.name].get<std::string>(),
              c.bare ? c.value : std::string(c.name) + "-value");
    header += (header.empty() ? "" : ",") + std::string(c.name);
    line += (line.empty() ? "" : ",") + c.value;
    names += std::string(",") + c.name;
  }
  for (const auto& item : read.items()) readNames += (readNames.empty() ? "" : ",") + item.key();
  EXPECT_EQ(readNames, names);  // the table's order, after "schema"
  EXPECT_EQ(csv.str(), header + "\n" + line + "\n");
  fs::remove_all(dir);
}
