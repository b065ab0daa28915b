// Reading labels back out of a PDF, with Debian's poppler-utils and
// zbar-tools: what a command prints, and the QR codes of the labels.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "batch/LabelLayout.h"

namespace kestrun::testing {

// What `command` prints on standard output.
inline std::string CommandOutput(const std::string& command) {
  std::string text;
  FILE* pipe = ::popen(command.c_str(), "r");
  for (int c; pipe && (c = std::fgetc(pipe)) != EOF;) text += static_cast<char>(c);
  if (pipe) ::pclose(pipe);
  return text;
}

// Why a PDF cannot be read back here (a tool is missing), or empty.
inline std::string MissingReadBackTool() {
  for (const std::string tool : {"pdftoppm", "zbarimg", "pdftotext"})
    if (std::system(("command -v " + tool + " >/dev/null").c_str()) != 0)
      return tool + " is missing (Debian: poppler-utils, zbar-tools)";
  return {};
}

// The QR codes of the first `labels` labels of `pdf`, in their order: each label's cell of its page
// rendered at 300 dpi into `folder` and read on its own (the whole page at once misses some of the 24
// codes of a grid).
inline std::vector<std::string> DecodedLabelCodes(const std::string& pdf, batch::LabelLayout layout,
                                                  int labels, const std::string& folder) {
  const batch::LabelGeometry& g = batch::GeometryOf(layout);
  auto px = [](double mm) { return " " + std::to_string(static_cast<int>(mm / 25.4 * 300)); };
  std::string cells;
  for (int i = 0, perPage = g.columns * g.rows; i < labels; ++i) {
    const int place = i % perPage;
    const std::string page = std::to_string(i / perPage + 1), cell = folder + "/cell" + std::to_string(i);
    CommandOutput("pdftoppm -r 300 -png -singlefile -f " + page + " -l " + page + " -x" +
                  px(g.left + place % g.columns * g.labelWidth) + " -y" +
                  px(g.top + place / g.columns * g.labelHeight) + " -W" + px(g.labelWidth) + " -H" +
                  px(g.labelHeight) + " '" + pdf + "' '" + cell + "'");
    cells += " '" + cell + ".png'";
  }
  std::vector<std::string> codes;
  std::istringstream read(CommandOutput("zbarimg --raw -q" + cells + " 2>/dev/null"));
  for (std::string code; std::getline(read, code);) codes.push_back(code);
  return codes;
}

}  // namespace kestrun::testing
