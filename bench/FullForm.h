// The form the benchmarks send: every field at its input limit with a value
// its rule accepts, every box and row ticked, and the ranged fields at values
// that pass their checks and give the longest lines.
#pragma once

#include <string>

#include "protocol/ControlIds.h"
#include "protocol/FormValues.h"

namespace kestrun {

// The longest value a text field's rule lets through: digits for numbers and
// phone numbers, a signed decimal for coordinates, letters for free text.
// Times and ports are set one by one below.
inline std::string LongestValue(const FormField& field) {
  const auto limit = static_cast<std::size_t>(field.limit);
  switch (field.rule) {
    case ValueRule::Longitude: return "-179." + std::string(limit - 5, '1');
    case ValueRule::Latitude: return "-89." + std::string(limit - 4, '1');
    case ValueRule::Pin: return std::string(limit < 8 ? limit : 8, '7');
    case ValueRule::Digits:
    case ValueRule::Phone:
    case ValueRule::Port:
    case ValueRule::Time: return std::string(limit, '7');
    case ValueRule::None:
    case ValueRule::Text: break;
  }
  return std::string(limit, field.digitsOnly ? '7' : 'x');
}

inline CFormValues FullFormValues() {
  using namespace ctl;
  CFormValues v;
  for (const Binding& b : Bindings()) {
    switch (b.kind) {
      case ValueKind::Text: v.Text(b.id) = LongestValue(b); break;
      case ValueKind::Flag:
      case ValueKind::Index:
      case ValueKind::Radio: v.Number(b.id) = 1; break;
      case ValueKind::Address: v.Address(b.id) = {192, 168, 100, 200}; break;
      case ValueKind::Preview: break;
    }
  }
  v.Text(BeginTime) = "0000";
  v.Text(EndTime) = "2359";
  v.Text(SendInterval) = "1440";
  v.Text(FixInterval) = "86400";
  v.Text(PositionDelay) = "900";
  v.Text(SriPort) = v.Text(BeiPort) = "65535";
  v.Text(InfoReportPeriod) = "1440";
  v.Text(SendNum) = "5";
  v.Number(MobileStart) = 0;
  v.Number(MobileEnd) = 9;
  return v;
}

}  // namespace kestrun
