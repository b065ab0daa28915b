// rv450-cli's options as its man page (OPTIONS) and README.md (the option
// table) document them: one entry per row of the option table, named as the
// row names it, whose text opens with the row's help text.
#include <gtest/gtest.h>

#include <map>
#include <regex>

#include "../support/TestFiles.h"
#include "cli/Args.h"

using namespace kestrun;
using namespace kestrun::testing;

namespace {

using Entries = std::map<std::string, std::string>;  // "-p, --port N" -> its text

// White space runs as one space, none at the ends.
std::string Squeeze(const std::string& text) {
  return std::regex_replace(std::regex_replace(text, std::regex("\\s+"), " "), std::regex("^ | $"), "");
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
  return text;
}

// One line of roff as it reads: font macros (.B, .BR, ...) with their
// arguments, other requests dropped, escapes resolved.
std::string RoffLine(const std::string& line) {
  std::string text = line;
  if (!text.empty() && text[0] == '.') {
    const std::size_t space = std::min(text.find(' '), text.size());
    const std::string macro = text.substr(1, space - 1);
    if (macro.empty() || macro.size() > 2 || macro.find_first_not_of("BIR") != std::string::npos) return "";
    const bool alternating = macro.size() == 2;  // .BR a b: "ab"; .B a b: "a b"
    std::string joined;
    bool quoted = false;
    for (std::size_t i = space + 1; i < text.size(); ++i) {
      if (text[i] == '"' && quoted && i + 1 < text.size() && text[i + 1] == '"') {
        joined += text[++i];
      } else if (text[i] == '"') {
        quoted = !quoted;
      } else if (text[i] == ' ' && !quoted) {
        if (!alternating) joined += ' ';
      } else {
        joined += text[i];
      }
    }
    text = joined;
  }
  text = std::regex_replace(text, std::regex(R"(\\f[BIRP]|\\&)"), "");
  text = std::regex_replace(text, std::regex(R"(\\\((lq|rq))"), "\"");
  return Replace(Replace(text, "\\-", "-"), "\\e", "\\");
}

Entries ManPageOptions(const std::string& page) {
  Entries entries;
  std::istringstream in(ReadFile(page).substr(ReadFile(page).find(".SH OPTIONS")));
  std::string line, tag;
  std::getline(in, line);
  while (std::getline(in, line) && line.rfind(".SH", 0) != 0) {
    if (line == ".TP" && std::getline(in, line))
      entries[tag = Squeeze(RoffLine(line))];
    else if (!tag.empty())
      entries[tag] += " " + RoffLine(line);
  }
  for (auto& entry : entries) entry.second = Squeeze(entry.second);
  return entries;
}

// The rows of README's table after "Options:" in the rv450-cli section.
Entries ReadmeOptions(const std::string& readme) {
  Entries entries;
  const std::string text = ReadFile(readme);
  std::istringstream in(text.substr(text.find("\nOptions:\n", text.find("## The command line: rv450-cli"))));
  std::string line;
  while (std::getline(in, line) && (line.empty() || line[0] != '#')) {
    if (line.rfind("| `", 0) != 0) continue;
    line = Replace(Replace(Replace(line, "\\|", "\x01"), "`", ""), "\\*", "*");
    const std::size_t split = line.find(" | ");
    entries[Squeeze(line.substr(2, split - 2))] =
        Squeeze(Replace(line.substr(split + 3, line.rfind(" |") - split - 3), "\x01", "|"));
  }
  return entries;
}

std::string Tag(const OptionEntry& option) {
  return Replace(option.names, ",", ", ") + (option.valueName.empty() ? "" : " " + option.valueName);
}

// "-p, --port N" -> "-p, --port": the names before the value.
std::string NamesOf(const std::string& tag) {
  for (std::size_t at = 0; (at = tag.find(' ', at)) != std::string::npos; ++at)
    if (tag[at - 1] != ',') return tag.substr(0, at);
  return tag;
}

}  // namespace

TEST(OptionDocsTest, ManPageAndReadmeDescribeEveryOptionWithItsHelpText) {
  const std::vector<OptionEntry> options = cli::DocumentedOptions();
  const struct {
    const char* doc;
    Entries entries;
  } docs[] = {{"man page", ManPageOptions(KESTRUN_SOURCE_DIR "/data/man/rv450-cli.1")},
              {"README", ReadmeOptions(KESTRUN_SOURCE_DIR "/README.md")}};
  for (const auto& [doc, entries] : docs) {
    std::map<std::string, bool> names;  // "-p, --port", for the entries that name no option
    for (const OptionEntry& option : options) {
      names[NamesOf(Tag(option))] = true;
      const auto entry = entries.find(Tag(option));
      if (entry == entries.end()) {
        ADD_FAILURE() << doc << " has no entry " << Tag(option);
        continue;
      }
      const std::string help = Squeeze(option.help), opening = entry->second.substr(0, help.size());
      EXPECT_TRUE(opening.substr(1) == help.substr(1) && std::tolower(opening[0]) == std::tolower(help[0]))
          << doc << ", " << entry->first << ": the text opens otherwise than the help:\n"
          << opening << "\n"
          << help;
    }
    for (const auto& entry : entries)
      EXPECT_TRUE(names.count(NamesOf(entry.first))) << doc << " documents " << entry.first << ", no option";
  }
}
