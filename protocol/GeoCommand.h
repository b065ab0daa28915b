#pragma once

#include <array>
#include <string>

#include "protocol/CommandRecord.h"

namespace kestrun {

// RVGEO: four geofences. Arrays are indexed by fence number - 1. One Build
// writes all four lines with one stamp.
class CGeoCommand : public CCommandRecord {
 public:
  CGeoCommand() : CCommandRecord("GEO") {}
  static constexpr int kFences = 4;
  bool Build();
  bool Parse(const std::string& reply);

  std::array<int, kFences> fenceSelected{};
  std::array<std::string, kFences> longitude, latitude, radius, checkInterval;
  std::array<int, kFences> fenceType{};
  std::array<std::string, kFences> commandLines;
};

}  // namespace kestrun
