// Where a port job's progress goes: each front end shows a row's text its
// own way (rv450-cli on standard error, the window in its table).
#pragma once

#include <cstddef>
#include <string>

namespace kestrun::batch {

class IJobProgress {
 public:
  // Row `row` now says `text`; called from the job's thread.
  virtual void Update(std::size_t row, const std::string& text) = 0;

 protected:
  ~IJobProgress() = default;
};

}  // namespace kestrun::batch
