// The form the benchmarks send: every field at its input limit, every box and
// row ticked, and the ranged fields at values that pass their checks and give
// the longest lines.
#pragma once

#include <string>

#include "protocol/ControlIds.h"
#include "protocol/FormValues.h"

namespace kestrun {

inline CFormValues FullFormValues() {
  using namespace ctl;
  CFormValues v;
  for (const Binding& b : Bindings()) {
    switch (b.kind) {
      case ValueKind::Text:
        v.Text(b.id) = std::string(static_cast<std::size_t>(b.limit), b.digitsOnly ? '7' : 'x');
        break;
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
