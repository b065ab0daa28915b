#pragma once

#include <array>
#include <string>

namespace kestrun {

// RVGEO: four geofences. Arrays are indexed by fence number - 1. One Build
// writes all four lines with one stamp.
class CGeoCommand {
 public:
  static constexpr int kFences = 4;
  virtual ~CGeoCommand() = default;
  bool Build();
  bool Parse(const std::string& reply);

  std::string password;
  std::array<int, kFences> fenceSelected{};
  std::array<std::string, kFences> longitude, latitude, radius, checkInterval;
  std::array<int, kFences> fenceType{};
  std::array<std::string, kFences> commandLines;
};

}  // namespace kestrun
