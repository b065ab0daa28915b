// What the values-table tests share: the template's groups and two valid
// IMEIs, one of them also with a broken check digit.
#pragma once

#include <set>
#include <string>

namespace kestrun::testing {

inline const std::set<std::string> kTemplate = {"RVSRI", "RVKPN", "RVWLT", "RVPIN"};
inline const std::string kImei = "490154203237518", kImei2 = "356938035643809";

// kImei with its check digit changed.
inline std::string BrokenCheckDigit() {
  std::string imei = kImei;
  imei.back() = static_cast<char>('0' + (imei.back() - '0' + 1) % 10);
  return imei;
}

}  // namespace kestrun::testing
