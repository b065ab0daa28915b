// The window's comparison of the form with a tracker: which form fields
// differ from what the tracker holds, each with its tooltip, and the list of
// differing keys. The keys compared are those a read of every group fills
// (settings/KeyCompare, as `rv450-cli diff` compares them). A mark goes when
// its field is edited; all go at the next Read or Load. Plain C++, owned by
// the window controller.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "protocol/FormValues.h"
#include "settings/KeyCompare.h"

namespace kestrun {

class CFormComparison {
 public:
  // Compares the form's values with the tracker's; the marks and the list
  // are replaced.
  void Take(const CFormValues& form, const CFormValues& tracker);
  // Drops the mark of the field `id`; false when it had none.
  bool Unmark(int id);
  // Drops every mark and the list; false when there were none.
  bool Clear();

  // Field id -> "tracker: <value>" (an address field shows all four octets).
  const std::map<int, std::string>& marks() const { return marks_; }
  const std::vector<Difference>& differences() const { return differences_; }
  // "N Fields Differ", "1 Field Differs" or "No Difference": the fields
  // marked now.
  std::string StatusText() const;

 private:
  std::map<int, std::string> marks_;
  std::vector<Difference> differences_;
};

}  // namespace kestrun
