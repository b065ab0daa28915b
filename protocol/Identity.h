// Which tracker is on the line: the firmware text and what its GSM module
// answers to the standard identity queries (AT+CGSN, AT+CCID, AT+CSQ). Each
// item is optional; a reply that is refused or holds no such item leaves it
// empty.
#pragma once

#include <string>

namespace kestrun {

struct TrackerIdentity {
  std::string firmware;    // "[Revision:...] [SubEdition:...]", as Read collects it
  std::string imei;        // the digits the module gave, or empty
  bool imeiValid = false;  // 15 digits with a valid Luhn check digit: usable as a key
  std::string iccid;       // 19 or 20 digits, a trailing F kept; or empty
  int rssi = -1;           // 0..31, -1 unknown (99 or no answer)
  int ber = -1;            // 0..7, -1 unknown

  // The IMEI when it is valid, else empty.
  std::string Key() const { return imeiValid ? imei : std::string(); }
};

// Whether `digits` are all decimal digits with a valid Luhn check digit.
bool LuhnValid(const std::string& digits);
// A tracker's IMEI: exactly 15 digits, the last the Luhn check digit over the
// other fourteen.
bool IsValidImei(const std::string& text);
// The Luhn check digit that completes `digits` (decimal digits only).
char LuhnCheckDigit(const std::string& digits);

// Each from a whole reply (echo, item, OK); false when the reply holds no
// such item or no closing OK. `ParseImei` also takes digits that are no
// valid IMEI (`valid` says so).
bool ParseImei(const std::string& reply, std::string& imei, bool& valid);
bool ParseIccid(const std::string& reply, std::string& iccid);
bool ParseSignal(const std::string& reply, int& rssi, int& ber);

// "-75 dBm (rssi 19)", "unknown" when the rssi is unknown.
std::string SignalText(int rssi);

}  // namespace kestrun
