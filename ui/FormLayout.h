// The configuration form as data: every control with its kind, id, caption,
// place (dialog units of the form page) and list items. The view builds the
// form from this table; enable rules and bindings refer to the same ids.
#pragma once

#include <string>
#include <vector>

#include "protocol/Groups.h"

namespace kestrun {

enum class CtlKind {
  GroupBox,
  Frame,
  Label,
  Status,
  CheckBox,
  Radio,
  Button,
  Edit,
  Preview,
  Combo,
  IpField,
  RichText
};

struct DluRect {
  int x, y, w, h;
};

struct ControlEntry {
  int id;  // 0 for labels and frames
  CtlKind kind;
  std::string caption;
  DluRect rect;    // in form-page dialog units
  int groupIndex;  // index into the group boxes (-1: directly on the page)
  std::string accessibleName;
  std::vector<std::string> items;
  int labelFor = 0;  // a label that names the control with this id
};

struct GroupBoxEntry {
  Group group;
  std::string title;
  int top;
  int height;
};

constexpr int kPageWidthDlu = 383;
constexpr int kPageHeightDlu = 1626;
constexpr int kGroupLeftDlu = 7;
constexpr int kGroupWidthDlu = 366;

// The nine group boxes from top to bottom.
const std::vector<GroupBoxEntry>& GroupBoxes();
// Every control, in creation (and so tab) order.
const std::vector<ControlEntry>& FormControls();
const ControlEntry* FindControl(int id);

// List items shared with the command layer.
const std::vector<std::string>& RtoOptionItems();

// Controls that a group's enable flag switches together; for GEO and KPN, the
// controls of row `row`.
const std::vector<int>& GroupRuleControls(Group group, int row = 0);

}  // namespace kestrun
