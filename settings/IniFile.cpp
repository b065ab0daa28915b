#include "settings/IniFile.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include "protocol/Fields.h"

namespace kestrun {

namespace {

struct IniText {
  std::vector<std::string> lines;  // without line ends
  std::string lineEnd = "\n";
  bool endsWithNewline = true;
};

bool ReadLines(const std::string& path, IniText& ini) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::stringstream buffer;
  buffer << in.rdbuf();
  const std::string text = buffer.str();
  if (text.find("\r\n") != std::string::npos) ini.lineEnd = "\r\n";
  ini.endsWithNewline = text.empty() || text.back() == '\n';
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ini.lines.push_back(line);
    start = end + 1;
  }
  return true;
}

std::string Trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// The section name of a "[name]" line.
bool SectionName(const std::string& line, std::string& name) {
  const std::string trimmed = Trim(line);
  if (trimmed.size() < 2 || trimmed.front() != '[') return false;
  const std::size_t close = trimmed.find(']');
  if (close == std::string::npos) return false;
  name = Trim(trimmed.substr(1, close - 1));
  return true;
}

bool KeyLine(const std::string& line, std::string& key, std::string& value) {
  const std::string trimmed = Trim(line);
  if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#') return false;
  const std::size_t eq = line.find('=');
  if (eq == std::string::npos) return false;
  key = Trim(line.substr(0, eq));
  value = Trim(line.substr(eq + 1));
  return true;
}

bool WriteAtomically(const std::string& path, const IniText& ini) {
  std::string text;
  for (std::size_t i = 0; i < ini.lines.size(); ++i) {
    text += ini.lines[i];
    if (i + 1 < ini.lines.size() || ini.endsWithNewline) text += ini.lineEnd;
  }
  const std::string temp = path + ".tmp" + std::to_string(::getpid());
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << text;
    out.flush();
    if (!out) {
      out.close();
      std::remove(temp.c_str());
      return false;
    }
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace

bool CIniFile::Lookup(const std::string& section, const std::string& key, std::string& value) const {
  IniText ini;
  if (path.empty() || !ReadLines(path, ini)) return false;
  bool inSection = false;
  for (const std::string& line : ini.lines) {
    std::string name, k, v;
    if (SectionName(line, name)) {
      inSection = SameName(name, section);
    } else if (inSection && KeyLine(line, k, v) && SameName(k, key)) {
      value = v;
      return true;
    }
  }
  return false;
}

int CIniFile::GetInt(const std::string& section, const std::string& key, int defaultValue) const {
  std::string value;
  return Lookup(section, key, value) ? ReadNumber(value) : defaultValue;
}

std::string CIniFile::GetString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const {
  std::string value;
  if (!Lookup(section, key, value)) return defaultValue.substr(0, kMaxValue);
  return value.substr(0, kMaxValue);
}

bool CIniFile::GetBool(const std::string& section, const std::string& key, bool defaultValue) const {
  return GetInt(section, key, defaultValue ? 1 : 0) > 0;
}

bool CIniFile::WriteInt(const std::string& section, const std::string& key, int value) {
  return WriteString(section, key, std::to_string(value));
}

bool CIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  return WriteString(section, key, value ? "1" : "0");
}

bool CIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
  if (path.empty()) return false;
  IniText ini;
  ReadLines(path, ini);
  const std::string newLine = key + "=" + value;
  bool inSection = false;
  int sectionLast = -1;  // last non-blank line of the section
  for (std::size_t i = 0; i < ini.lines.size(); ++i) {
    std::string name, k, v;
    if (SectionName(ini.lines[i], name)) {
      if (inSection) break;
      inSection = SameName(name, section);
      if (inSection) sectionLast = static_cast<int>(i);
    } else if (inSection) {
      if (KeyLine(ini.lines[i], k, v) && SameName(k, key)) {
        ini.lines[i] = newLine;
        return WriteAtomically(path, ini);
      }
      if (!Trim(ini.lines[i]).empty()) sectionLast = static_cast<int>(i);
    }
  }
  if (sectionLast >= 0) {
    ini.lines.insert(ini.lines.begin() + sectionLast + 1, newLine);
  } else {
    if (!ini.endsWithNewline) ini.endsWithNewline = true;
    ini.lines.push_back("[" + section + "]");
    ini.lines.push_back(newLine);
  }
  return WriteAtomically(path, ini);
}

}  // namespace kestrun
