// What the Provisioning window keeps between runs, in the [Provisioning]
// section of MainSetting.ini: the template and table last chosen, the two
// check boxes, station mode with its action, the row table's column widths
// and the labels' page format. Only this section is written; every other
// line of the file stays as it is, and the rest of the program reads and
// writes its own keys without touching this section.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "settings/IniFile.h"

namespace kestrun {

struct ProvisioningChoices {
  std::string templateFile;      // Template=
  std::string tableFile;         // Table=
  bool dealRowsInOrder = false;  // DealRowsInOrder=0|1
  bool skipDone = false;         // SkipDone=0|1
  bool stationMode = false;      // StationMode=0|1
  // StationAction=: "Identify", "Provision" or "Verify"; anything else reads
  // as "Provision".
  std::string stationAction = "Provision";
  // ColumnWidths=COM:80,IMEI:130,...: by header name, so that a column added
  // or moved later does not take another's width. Widths below 1 are dropped.
  std::vector<std::pair<std::string, int>> columnWidths;
  // LabelLayout=: a page format as --layout names it ("a4-3x8", "62x29");
  // kept as written, the window ignores one it does not know.
  std::string labelLayout;

  bool operator==(const ProvisioningChoices&) const = default;
};

// The actions station mode may start, in the order a list offers them.
const std::vector<std::string>& StationActions();

ProvisioningChoices ReadProvisioningChoices(const CIniText& text);
void WriteProvisioningChoices(CIniText& text, const ProvisioningChoices& choices);

// The same on the file: a missing file gives the defaults. Saving rewrites
// the [Provisioning] keys in one crash-safe replace; a file that cannot be
// read is not written.
FileResult LoadProvisioningChoices(const std::string& mainSettingPath, ProvisioningChoices& choices);
FileResult SaveProvisioningChoices(const std::string& mainSettingPath, const ProvisioningChoices& choices);

}  // namespace kestrun
