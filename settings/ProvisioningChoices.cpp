#include "settings/ProvisioningChoices.h"

#include <algorithm>

#include "protocol/WholeNumber.h"

namespace kestrun {

namespace {

constexpr const char* kSection = "Provisioning";

// "COM:80,IMEI:130": name and width pairs; a pair without a name or with a
// width that is no whole number above 0 is left out.
std::vector<std::pair<std::string, int>> ParseWidths(const std::string& text) {
  std::vector<std::pair<std::string, int>> widths;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(',', start);
    if (end == std::string::npos) end = text.size();
    const std::string item = text.substr(start, end - start);
    const std::size_t colon = item.rfind(':');
    if (colon != std::string::npos && colon > 0)
      if (const auto width = ParseWholeWithin(std::string_view(item).substr(colon + 1), 1, 100000))
        widths.emplace_back(item.substr(0, colon), static_cast<int>(*width));
    start = end + 1;
  }
  return widths;
}

std::string WidthsText(const std::vector<std::pair<std::string, int>>& widths) {
  std::string text;
  for (const auto& [name, width] : widths) {
    // A name holding the separators could not be read back; such a column
    // keeps the window's own width.
    if (name.empty() || width < 1 || name.find_first_of(",:") != std::string::npos) continue;
    text += (text.empty() ? "" : ",") + name + ":" + std::to_string(width);
  }
  return text;
}

}  // namespace

const std::vector<std::string>& StationActions() {
  static const std::vector<std::string> actions = {"Identify", "Provision", "Verify"};
  return actions;
}

ProvisioningChoices ReadProvisioningChoices(const CIniText& text) {
  ProvisioningChoices c;
  c.templateFile = text.GetString(kSection, "Template", "");
  c.tableFile = text.GetString(kSection, "Table", "");
  c.dealRowsInOrder = text.GetBool(kSection, "DealRowsInOrder", false);
  c.skipDone = text.GetBool(kSection, "SkipDone", false);
  c.stationMode = text.GetBool(kSection, "StationMode", false);
  const std::string action = text.GetString(kSection, "StationAction", "");
  const auto& actions = StationActions();
  if (std::find(actions.begin(), actions.end(), action) != actions.end()) c.stationAction = action;
  c.columnWidths = ParseWidths(text.GetString(kSection, "ColumnWidths", ""));
  c.labelLayout = text.GetString(kSection, "LabelLayout", "");
  return c;
}

void WriteProvisioningChoices(CIniText& text, const ProvisioningChoices& c) {
  text.Set(kSection, "Template", c.templateFile);
  text.Set(kSection, "Table", c.tableFile);
  text.SetBool(kSection, "DealRowsInOrder", c.dealRowsInOrder);
  text.SetBool(kSection, "SkipDone", c.skipDone);
  text.SetBool(kSection, "StationMode", c.stationMode);
  text.Set(kSection, "StationAction", c.stationAction);
  text.Set(kSection, "ColumnWidths", WidthsText(c.columnWidths));
  text.Set(kSection, "LabelLayout", c.labelLayout);
}

FileResult LoadProvisioningChoices(const std::string& mainSettingPath, ProvisioningChoices& choices) {
  CIniText text;
  const FileResult result = CIniFile(mainSettingPath).Read(text);
  choices = ReadProvisioningChoices(text);
  return result;
}

FileResult SaveProvisioningChoices(const std::string& mainSettingPath, const ProvisioningChoices& choices) {
  CIniFile file(mainSettingPath);
  return file.Update([&](CIniText& text) { WriteProvisioningChoices(text, choices); });
}

}  // namespace kestrun
