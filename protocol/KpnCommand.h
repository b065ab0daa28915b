#pragma once

#include <array>
#include <string>

#include "protocol/CommandRecord.h"

namespace kestrun {

// RVKPN: five keys, SOS (0) and 1 to 4. One line per key; one reply for all.
class CKpnCommand : public CCommandRecord {
 public:
  CKpnCommand() : CCommandRecord("KPN") {}
  static constexpr int kKeys = 5;
  bool Build(int key);
  bool Parse(const std::string& reply);

  std::array<int, kKeys> keySelected{};
  std::array<std::string, kKeys> phoneNumber, phoneName;
  std::array<int, kKeys> kpnEnable{};   // keys 1 to 4
  std::array<int, kKeys> autoAnswer{};  // keys 1 and 2
  std::array<std::string, kKeys> commandLines;
};

}  // namespace kestrun
