// Progress on standard error. On a terminal every port has one line that is
// redrawn in place; otherwise each change is one plain line. Safe to call from
// every port's thread.
#pragma once

#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "batch/JobProgress.h"

namespace kestrun::cli {

class CProgress final : public batch::IJobProgress {
 public:
  enum class Style { Quiet, Plain, Live };

  // Quiet with -q; redrawn in place only on a terminal that takes cursor
  // control (standard error is one and TERM is set and not "dumb").
  static Style ChooseStyle(bool quiet, bool errorIsTerminal, const char* term);

  // `labels` name the rows ("COM5"); `width` bounds a live line.
  CProgress(std::ostream& err, Style style, std::vector<std::string> labels, int width = 80);
  // Row `row` now says `text`.
  void Update(std::size_t row, const std::string& text) override;
  // Leaves the live block as it stands, so later output goes below it.
  void Finish();

 private:
  void Redraw();

  std::mutex mutex_;
  std::ostream& err_;
  Style style_;
  std::vector<std::string> labels_;
  std::vector<std::string> texts_;
  std::size_t width_;
  bool drawn_ = false;
};

}  // namespace kestrun::cli
