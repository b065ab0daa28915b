#include "journal/RowNotes.h"

#include <cstdio>

#include "protocol/JsonText.h"

namespace kestrun::journal {

namespace {

// Reads the JSON text of a flat object of strings, as JsonString writes it and
// any other JSON writer may.
class CNotesReader {
 public:
  explicit CNotesReader(const std::string& text) : t_(text) {}

  bool Object(NoteCells& cells) {
    cells.clear();
    if (!Take('{')) return false;
    if (Take('}')) return End();
    do {
      std::string name, value;
      if (!String(name) || !Take(':') || !String(value)) return false;
      cells.emplace_back(std::move(name), std::move(value));
    } while (Take(','));
    return Take('}') && End();
  }

 private:
  void Blank() {
    while (at_ < t_.size() && (t_[at_] == ' ' || t_[at_] == '\t' || t_[at_] == '\n' || t_[at_] == '\r'))
      ++at_;
  }
  bool Take(char c) {
    Blank();
    if (at_ >= t_.size() || t_[at_] != c) return false;
    ++at_;
    return true;
  }
  bool End() {
    Blank();
    return at_ == t_.size();
  }
  bool Hex4(unsigned& value) {
    if (at_ + 4 > t_.size()) return false;
    value = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = t_[at_++];
      const int digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : -1;
      if (digit < 0) return false;
      value = value * 16 + static_cast<unsigned>(digit);
    }
    return true;
  }
  static void Utf8(unsigned code, std::string& out) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xc0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3f));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xe0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
      out += static_cast<char>(0x80 | (code & 0x3f));
    } else {
      out += static_cast<char>(0xf0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3f));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
      out += static_cast<char>(0x80 | (code & 0x3f));
    }
  }
  bool String(std::string& out) {
    if (!Take('"')) return false;
    while (at_ < t_.size()) {
      const char c = t_[at_++];
      if (c == '"') return true;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ >= t_.size()) return false;
      const char e = t_[at_++];
      switch (e) {
        case '"':
        case '\\':
        case '/': out += e; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          unsigned code = 0, low = 0;
          if (!Hex4(code)) return false;
          // A pair of surrogates is one character beyond U+FFFF.
          if (code >= 0xd800 && code < 0xdc00 && at_ + 1 < t_.size() && t_[at_] == '\\' &&
              t_[at_ + 1] == 'u') {
            at_ += 2;
            if (!Hex4(low) || low < 0xdc00 || low >= 0xe000) return false;
            code = 0x10000 + ((code - 0xd800) << 10) + (low - 0xdc00);
          }
          Utf8(code, out);
          break;
        }
        default: return false;
      }
    }
    return false;
  }

  const std::string& t_;
  std::size_t at_ = 0;
};

}  // namespace

std::string NotesJson(const NoteCells& cells) {
  if (cells.empty()) return "";
  std::string json = "{";
  for (const auto& [header, text] : cells)
    json += (json.size() > 1 ? "," : "") + JsonString(header) + ":" + JsonString(text);
  return json + "}";
}

bool ReadNotes(const std::string& json, NoteCells& cells) {
  cells.clear();
  return json.empty() || CNotesReader(json).Object(cells);
}

std::string NoteCell(const std::string& json, const std::string& header) {
  NoteCells cells;
  if (!ReadNotes(json, cells)) return "";
  for (const auto& [name, text] : cells)
    if (name == header) return text;
  return "";
}

}  // namespace kestrun::journal
