#include "window/LabelRows.h"

#include <algorithm>
#include <set>

namespace kestrun {

LabelChoice LabelsForRows(const std::vector<ProvisioningRow>& rows, const std::vector<std::size_t>& selected,
                          const std::string& date) {
  std::vector<std::size_t> chosen = selected;
  if (chosen.empty())
    for (std::size_t i = 0; i < rows.size(); ++i) chosen.push_back(i);
  std::sort(chosen.begin(), chosen.end());
  chosen.erase(std::unique(chosen.begin(), chosen.end()), chosen.end());
  LabelChoice choice;
  choice.batch = selected.empty();
  std::set<std::string> seen;
  std::string without;  // "COM3, COM5": selected rows whose tracker has no IMEI yet
  for (const std::size_t i : chosen) {
    if (i >= rows.size()) continue;
    const ProvisioningRow& row = rows[i];
    if (row.imei.empty()) {
      without += (without.empty() ? "COM" : ", COM") + std::to_string(row.port);
      continue;
    }
    if (seen.insert(row.imei).second) choice.labels.push_back({row.imei, row.iccid, row.firmware, date});
  }
  if (choice.labels.empty())
    choice.note = selected.empty() ? "No tracker has told its IMEI yet: Identify or Provision them first"
                                   : "The selected rows have no IMEI yet: Identify or Provision them first";
  else if (!selected.empty() && !without.empty())
    choice.note = without + ": no IMEI yet, so no label";
  return choice;
}

}  // namespace kestrun
