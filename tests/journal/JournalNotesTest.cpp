// A row's notes: written as one JSON object text, read back cell by cell,
// whatever bytes the cells hold, and as another JSON writer may write them.
#include <gtest/gtest.h>

#include <string>

#include "journal/RowNotes.h"

namespace kestrun::journal {
namespace {

TEST(JournalNotesTest, CellsRoundTripAndForeignJsonReads) {
  const NoteCells cells[] = {
      {},
      {{"#Vehicle", "Bus 12"}},
      {{"#Vehicle", "say \"hi\" \\ o/"},
       {"#Depot", ""},
       {"#Note", std::string("tab\there\nline\x01\x7f", 16)}},
      {{"#Fahrzeug", "Müll-Wagen ☃ 🚚"}, {"#{,:}", "[\"x\"]"}},
  };
  for (const NoteCells& written : cells) {
    const std::string json = NotesJson(written);
    EXPECT_EQ(json.empty(), written.empty());
    NoteCells read;
    ASSERT_TRUE(ReadNotes(json, read)) << json;
    EXPECT_EQ(read, written) << json;
    for (const auto& [header, text] : written) EXPECT_EQ(NoteCell(json, header), text) << json;
    EXPECT_EQ(NoteCell(json, "#Missing"), "");
  }
  const struct {
    std::string json;
    bool valid;
    std::string vehicle;
  } texts[] = {
      {" { \"#Vehicle\" : \"Bus\\u0020\\u00fc\\ud83d\\ude9a\\/\" } ", true, "Bus \xc3\xbc\xf0\x9f\x9a\x9a/"},
      {"{}", true, ""},
      {"{\"#Vehicle\":\"a\"", false, ""},
      {"{\"#Vehicle\":1}", false, ""},
      {"{\"#Vehicle\":\"a\"} x", false, ""},
      {"{\"#Vehicle\":\"\\q\"}", false, ""},
      {"[\"#Vehicle\"]", false, ""},
  };
  for (const auto& t : texts) {
    NoteCells read;
    EXPECT_EQ(ReadNotes(t.json, read), t.valid) << t.json;
    EXPECT_EQ(NoteCell(t.json, "#Vehicle"), t.vehicle) << t.json;
  }
}

}  // namespace
}  // namespace kestrun::journal
