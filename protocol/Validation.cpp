#include "protocol/Validation.h"

#include "protocol/Fields.h"

namespace kestrun {

void ApplyCap(std::string& value, std::size_t limit, const char* message, IResultSink& sink) {
  if (value.size() <= limit) return;
  sink.ShowFailure(message);
  value.resize(limit);
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
