#pragma once

#include <array>
#include <string>

#include "protocol/CommandRecord.h"

namespace kestrun {

// RVWLT: white call list; a line carries positions mobileStart..mobileEnd.
class CWltCommand : public CCommandRecord {
 public:
  CWltCommand() : CCommandRecord("WLT") {}
  static constexpr int kNumbers = 10;
  bool Build();
  bool Parse(const std::string& reply);

  int callFilter = 0;
  int gglMode = 0;
  int mobileStart = 0;                        // 1..10
  int mobileEnd = 0;                          // 1..10
  std::array<std::string, kNumbers> numbers;  // position p at index p - 1
  std::string commandLine;
};

}  // namespace kestrun
