#include "settings/IniFile.h"

#include <cctype>

#include "protocol/Fields.h"
#include "protocol/Trimmed.h"

namespace kestrun {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

}  // namespace

CIniText::Line CIniText::Classify(std::string text) {
  Line line;
  line.text = std::move(text);
  const std::string trimmed = Trimmed(line.text);
  // "[name]": a section line, whatever follows the closing bracket.
  if (trimmed.size() >= 2 && trimmed.front() == '[') {
    const std::size_t close = trimmed.find(']');
    if (close != std::string::npos) {
      line.kind = Kind::Section;
      line.name = Trimmed(std::string_view(trimmed).substr(1, close - 1));
      return line;
    }
  }
  // "name=value", unless the line is a comment.
  if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#') return line;
  const std::size_t eq = line.text.find('=');
  if (eq == std::string::npos) return line;
  line.kind = Kind::Key;
  line.name = Trimmed(std::string_view(line.text).substr(0, eq));
  line.value = Trimmed(std::string_view(line.text).substr(eq + 1));
  return line;
}

CIniText CIniText::Parse(std::string_view bytes) {
  CIniText ini;
  if (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
    ini.byteOrderMark_ = true;
    bytes.remove_prefix(kByteOrderMark.size());
  }
  // Lines end at LF (a CR before it belongs to the line end, and one CR LF
  // makes the whole file CR LF); a file without any LF but with CRs has CR
  // line ends.
  const bool crOnly =
      bytes.find('\n') == std::string_view::npos && bytes.find('\r') != std::string_view::npos;
  const char end = crOnly ? '\r' : '\n';
  if (crOnly)
    ini.lineEnd_ = "\r";
  else if (bytes.find("\r\n") != std::string_view::npos)
    ini.lineEnd_ = "\r\n";
  else if (bytes.find('\n') != std::string_view::npos)
    ini.lineEnd_ = "\n";
  ini.endsWithNewline_ = bytes.empty() || bytes.back() == end;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t stop = bytes.find(end, start);
    if (stop == std::string_view::npos) stop = bytes.size();
    std::string_view text = bytes.substr(start, stop - start);
    if (!crOnly && !text.empty() && text.back() == '\r') text.remove_suffix(1);
    ini.lines_.push_back(Classify(std::string(text)));
    start = stop + 1;
  }
  return ini;
}

std::string CIniText::Serialize() const {
  std::size_t size = byteOrderMark_ ? kByteOrderMark.size() : 0;
  for (const Line& line : lines_) size += line.text.size() + lineEnd_.size();
  std::string text;
  text.reserve(size);
  if (byteOrderMark_) text += kByteOrderMark;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    text += lines_[i].text;
    if (i + 1 < lines_.size() || endsWithNewline_) text += lineEnd_;
  }
  return text;
}

bool CIniText::Find(const std::string& section, const std::string& key, std::string& value) const {
  bool inSection = false;
  for (const Line& line : lines_) {
    if (line.kind == Kind::Section) {
      inSection = SameName(line.name, section);
    } else if (inSection && line.kind == Kind::Key && SameName(line.name, key)) {
      value = line.value;
      return true;
    }
  }
  return false;
}

int CIniText::GetInt(const std::string& section, const std::string& key, int defaultValue) const {
  std::string value;
  return Find(section, key, value) ? ReadNumber(value) : defaultValue;
}

std::string CIniText::GetString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const {
  std::string value;
  if (!Find(section, key, value)) return defaultValue.substr(0, kMaxValue);
  return value.substr(0, kMaxValue);
}

bool CIniText::GetBool(const std::string& section, const std::string& key, bool defaultValue) const {
  return GetInt(section, key, defaultValue ? 1 : 0) > 0;
}

void CIniText::Set(const std::string& section, const std::string& key, const std::string& value) {
  Line newLine = Classify(key + "=" + value);
  bool inSection = false;
  int sectionLast = -1;  // last non-blank line of the section
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const Line& line = lines_[i];
    if (line.kind == Kind::Section) {
      if (inSection) break;
      inSection = SameName(line.name, section);
      if (inSection) sectionLast = static_cast<int>(i);
    } else if (inSection) {
      if (line.kind == Kind::Key && SameName(line.name, key)) {
        lines_[i] = std::move(newLine);
        return;
      }
      if (!Trimmed(line.text).empty()) sectionLast = static_cast<int>(i);
    }
  }
  if (sectionLast >= 0) {
    lines_.insert(lines_.begin() + sectionLast + 1, std::move(newLine));
  } else {
    endsWithNewline_ = true;
    lines_.push_back(Classify("[" + section + "]"));
    lines_.push_back(std::move(newLine));
  }
}

void CIniText::SetInt(const std::string& section, const std::string& key, int value) {
  Set(section, key, std::to_string(value));
}

void CIniText::SetBool(const std::string& section, const std::string& key, bool value) {
  Set(section, key, value ? "1" : "0");
}

FileResult CIniFile::Read(CIniText& text) const {
  std::string bytes;
  bool exists = false;
  FileResult result = ReadSettingsFile(path, bytes, exists);
  text = result ? CIniText::Parse(bytes) : CIniText();
  return result;
}

FileResult CIniFile::Update(const std::function<void(CIniText&)>& change) {
  CIniText text;
  if (FileResult read = Read(text); !read) {
    read.step = "reading it before saving (the file is left as it is)";
    return read;
  }
  change(text);
  return ReplaceSettingsFile(path, text.Serialize());
}

int CIniFile::GetInt(const std::string& section, const std::string& key, int defaultValue) const {
  CIniText text;
  Read(text);
  return text.GetInt(section, key, defaultValue);
}

std::string CIniFile::GetString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const {
  CIniText text;
  Read(text);
  return text.GetString(section, key, defaultValue);
}

bool CIniFile::GetBool(const std::string& section, const std::string& key, bool defaultValue) const {
  CIniText text;
  Read(text);
  return text.GetBool(section, key, defaultValue);
}

bool CIniFile::WriteInt(const std::string& section, const std::string& key, int value) {
  return WriteString(section, key, std::to_string(value));
}

bool CIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  return WriteString(section, key, value ? "1" : "0");
}

bool CIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
  return static_cast<bool>(Update([&](CIniText& text) { text.Set(section, key, value); }));
}

}  // namespace kestrun
