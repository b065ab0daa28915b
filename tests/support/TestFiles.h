// Helpers shared by the tests on every system: temporary folders, whole
// files, the counts a user sees.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace kestrun::testing {

// Counts a user sees, written once: the keys of a config file, and the keys a
// diff or verify of every group compares (no INFO/VER, no RVRTO, no enable or
// row boxes, no white-list range).
constexpr int kConfigKeyCount = 100;
constexpr int kAllGroupsKeyCount = 87;
inline const std::string kAllKeysCompared = std::to_string(kAllGroupsKeyCount) + " keys compared";

class TempDir {
 public:
  TempDir() {
    std::random_device random;
    std::error_code ec;
    do {
      path_ =
          (std::filesystem::temp_directory_path() / ("kestrun-test-" + std::to_string(random()))).string();
    } while (!std::filesystem::create_directory(path_, ec) && !ec);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Option names from `names` that a man page does not mention, spelled as roff
// spells them ("--port" as "\\-\\-port").
inline std::vector<std::string> MissingFromManPage(const std::string& page,
                                                   const std::vector<std::string>& names) {
  const std::string text = ReadFile(page);
  std::vector<std::string> missing;
  for (const std::string& name : names) {
    std::string roff;
    for (char c : name) roff += c == '-' ? std::string("\\-") : std::string(1, c);
    if (text.find(roff) == std::string::npos) missing.push_back(name);
  }
  if (text.empty()) missing.push_back("(no man page " + page + ")");
  return missing;
}

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// `text` with each LF made `end` (a new file's line end on this system).
inline std::string WithLineEnd(const std::string& text, const std::string& end) {
  std::string result;
  for (char c : text) result += c == '\n' ? end : std::string(1, c);
  return result;
}

inline double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace kestrun::testing
