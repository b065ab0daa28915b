#include "settings/Connection.h"

#include "settings/MainSettings.h"

namespace kestrun {

int BaudRateForIndex(int index) {
  return index >= 0 && index < kBaudCount ? kBaudRates[index] : kDefaultBaudRate;
}

std::string BaudListText(const char* last) {
  std::string text;
  for (int i = 0; i < kBaudCount; ++i)
    text += (i == 0 ? "" : i + 1 == kBaudCount ? last : ", ") + std::to_string(kBaudRates[i]);
  return text;
}

bool ParseBaudRate(const std::string& text, int& rate) {
  for (int candidate : kBaudRates)
    if (text == std::to_string(candidate)) {
      rate = candidate;
      return true;
    }
  return false;
}

PortChoice ChoosePort(const CMainSettings& settings, const std::vector<PortEntry>& ports) {
  const int count = static_cast<int>(ports.size());
  for (int i = 0; i < count && settings.comNumber > 0; ++i)
    if (ports[static_cast<std::size_t>(i)].number == settings.comNumber) return {i, true};
  return {settings.comIndex >= 0 && settings.comIndex < count ? settings.comIndex : -1, false};
}

Connection ConnectionFromSettings(const CMainSettings& settings, const std::vector<PortEntry>& ports) {
  Connection c;
  const int index = ChoosePort(settings, ports).position;
  c.port = index >= 0 ? ports[static_cast<std::size_t>(index)].number : 0;
  c.baudRate = BaudRateForIndex(settings.baudIndex);
  c.password = settings.password;
  c.pacing = settings.pacing;
  return c;
}

void ApplyOptions(const ConnectionOptions& options, Connection& connection) {
  if (options.baudRate) connection.baudRate = *options.baudRate;
  if (options.pacing) connection.pacing = *options.pacing;
}

}  // namespace kestrun
