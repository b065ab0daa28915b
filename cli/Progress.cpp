#include "cli/Progress.h"

#include <string_view>

#include "protocol/ControlChars.h"

namespace kestrun::cli {

using namespace kestrun::batch;

CProgress::Style CProgress::ChooseStyle(bool quiet, bool errorIsTerminal, const char* term) {
  if (quiet) return Style::Quiet;
  const bool cursorControl = errorIsTerminal && term && *term && std::string_view(term) != "dumb";
  return cursorControl ? Style::Live : Style::Plain;
}

CProgress::CProgress(std::ostream& err, Style style, std::vector<std::string> labels, int width)
    : err_(err),
      style_(style),
      labels_(std::move(labels)),
      texts_(labels_.size(), "starting"),
      width_(width > 20 ? static_cast<std::size_t>(width) : 20) {}

void CProgress::Update(std::size_t row, const std::string& status) {
  // A status may quote the tracker; its control bytes must not reach the terminal.
  const std::string text = EscapeControlBytes(status);
  std::lock_guard<std::mutex> lock(mutex_);
  if (style_ == Style::Quiet || row >= texts_.size() || texts_[row] == text) return;
  texts_[row] = text;
  if (style_ == Style::Plain) {
    err_ << labels_[row] << ": " << text << "\n" << std::flush;
    return;
  }
  Redraw();
}

void CProgress::Redraw() {
  // Back to the first row of the block, then every row cleared and rewritten.
  if (drawn_) err_ << "\x1b[" << texts_.size() << "A";
  for (std::size_t i = 0; i < texts_.size(); ++i) {
    std::string line = labels_[i] + "  " + texts_[i];
    if (line.size() > width_ - 1) line.resize(width_ - 1);
    err_ << "\r\x1b[2K" << line << "\n";
  }
  err_ << std::flush;
  drawn_ = true;
}

void CProgress::Finish() {
  std::lock_guard<std::mutex> lock(mutex_);
  err_ << std::flush;
}

}  // namespace kestrun::cli
