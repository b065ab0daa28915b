// libFuzzer targets for the reply parsers. KESTRUN_FUZZ_TARGET picks one:
// the eight Parse operations, SplitFields or ParseDottedAddress.
#include <cstddef>
#include <cstdint>
#include <string>

#include "protocol/BacCommand.h"
#include "protocol/BeiCommand.h"
#include "protocol/Fields.h"
#include "protocol/GeoCommand.h"
#include "protocol/KpnCommand.h"
#include "protocol/PinCommand.h"
#include "protocol/SriCommand.h"
#include "protocol/TriCommand.h"
#include "protocol/WltCommand.h"

namespace {

template <typename Record>
void ParseInto(const std::string& text) {
  Record record;
  if (record.Parse(text)) record.Parse(text);  // a second parse over stored values
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  using namespace kestrun;
#if KESTRUN_FUZZ_TARGET == 0
  ParseInto<CSriCommand>(text);
#elif KESTRUN_FUZZ_TARGET == 1
  ParseInto<CBeiCommand>(text);
#elif KESTRUN_FUZZ_TARGET == 2
  ParseInto<CTriCommand>(text);
#elif KESTRUN_FUZZ_TARGET == 3
  ParseInto<CGeoCommand>(text);
#elif KESTRUN_FUZZ_TARGET == 4
  ParseInto<CBacCommand>(text);
#elif KESTRUN_FUZZ_TARGET == 5
  ParseInto<CKpnCommand>(text);
#elif KESTRUN_FUZZ_TARGET == 6
  ParseInto<CWltCommand>(text);
#elif KESTRUN_FUZZ_TARGET == 7
  ParseInto<CPinCommand>(text);
#elif KESTRUN_FUZZ_TARGET == 8
  std::string slots[12];
  int count = 0;
  SplitFields(text, slots, 12, count);
  if (count < 0) __builtin_trap();
  for (int i = 0; i < std::min(count, 12); ++i)
    if (slots[i].size() > kMaxField) __builtin_trap();
#else
  Octets octets{};
  ParseDottedAddress(text, octets);
#endif
  return 0;
}
