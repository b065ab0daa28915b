// A journal row's notes: the cells of the notes columns ("#Vehicle") of the
// table line a tracker was dealt, kept as the text of one JSON object that
// maps each header as written to its cell's text, in the table's order.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace kestrun::journal {

using NoteCells = std::vector<std::pair<std::string, std::string>>;

// {"#Vehicle":"Bus 12","#Depot":"North"}; empty (the column's NULL) when there are no cells.
std::string NotesJson(const NoteCells& cells);

// The cells of a notes text in their order; false when `json` is not such an
// object (an empty text is no notes: true, no cells).
bool ReadNotes(const std::string& json, NoteCells& cells);

// The text of the cell `header` ("#Vehicle"); empty when the notes do not name it.
std::string NoteCell(const std::string& json, const std::string& header);

}  // namespace kestrun::journal
