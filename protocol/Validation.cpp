#include "protocol/Validation.h"

#include "protocol/Fields.h"

namespace kestrun {

namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length of the well-formed UTF-8 character at `at`, or 0 when the bytes
// there are not one (overlong forms, surrogates and values past U+10FFFF are
// not characters).
std::size_t CharacterLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if (!IsContinuation(byte(at + i))) return 0;
  return length;
}

}  // namespace

std::size_t Utf8CutPoint(std::string_view text, std::size_t limit) {
  if (limit >= text.size()) return text.size();
  // Walk back from the limit to the lead byte of the character it falls in.
  std::size_t start = limit;
  while (start > 0 && limit - start < 3 && IsContinuation(static_cast<unsigned char>(text[start]))) --start;
  if (start == limit) return limit;
  const std::size_t length = CharacterLength(text, start);
  return length > 0 && start + length > limit ? start : limit;
}

void ApplyCap(std::string& value, std::size_t limit, const char* message, IResultSink& sink) {
  if (value.size() <= limit) return;
  sink.ShowFailure(message);
  value.resize(Utf8CutPoint(value, limit));
}

bool CheckRange(const std::string& label, const std::string& low, const std::string& high, std::string& value,
                IResultSink& sink) {
  const double number = ReadDecimal(value);
  const double lowValue = ReadDecimal(low);
  const double highValue = ReadDecimal(high);
  if (!(number < lowValue) && !(number > highValue)) return true;
  sink.ShowFailure("Error, " + label + " Should be " + low + " ~ " + high + " !");
  value = number > highValue ? high : low;
  return false;
}

}  // namespace kestrun
