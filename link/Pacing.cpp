#include "link/Pacing.h"

namespace kestrun {

bool CPacing::Parse(const std::string& name, CPacing& pacing) {
  if (name == "fast") {
    pacing = Fast();
  } else if (name == "specified") {
    pacing = Specified();
  } else {
    return false;
  }
  return true;
}

CPacing CPacing::FromSetting(const std::string& value) { return value == "fast" ? Fast() : Specified(); }

}  // namespace kestrun
