#include "protocol/Groups.h"

#include <string_view>

#include "protocol/ControlIds.h"

namespace kestrun {

const std::array<GroupInfo, kGroupCount>& AllGroups() {
  using namespace ctl;
  static const std::array<GroupInfo, kGroupCount> groups = {{
      {Group::Sri, "SRI", SriEnable, SriRead, SriSend, 200, 9, 10, {SriPreview}},
      {Group::Bei, "BEI", BeiEnable, BeiRead, BeiSend, 120, 5, 7, {BeiPreview}},
      {Group::Tri, "TRI", TriEnable, TriRead, TriSend, 120, 5, 6, {TriPreview}},
      // Four fences at their field limits make a reply of about 280 bytes; a
      // 200-byte read would cut off the closing OK of a group the tool wrote itself.
      {Group::Geo,
       "GEO",
       -1,
       GeoRead,
       GeoSend,
       400,
       25,
       8,
       {FencePreview[0], FencePreview[1], FencePreview[2], FencePreview[3]}},
      {Group::Bac, "BAC", BacEnable, BacRead, BacSend, 200, 18, 20, {BacPreview}},
      {Group::Kpn,
       "KPN",
       -1,
       KpnRead,
       KpnSend,
       0,
       30,
       8,
       {KeyPreview[0], KeyPreview[1], KeyPreview[2], KeyPreview[3], KeyPreview[4]}},
      {Group::Rto, "RTO", RtoEnable, -1, RtoSend, -1, 0, 3, {RtoPreview}},
      {Group::Wlt, "WLT", WltEnable, WltRead, WltSend, 900, 12, 18, {WltPreview}},
      {Group::Pin, "PIN", PinEnable, PinRead, PinSend, 500, 3, 9, {PinPreview}},
  }};
  return groups;
}

const GroupInfo& Info(Group group) { return AllGroups()[static_cast<int>(group)]; }

const GroupInfo* FindGroup(const char* name) {
  for (const GroupInfo& info : AllGroups())
    if (std::string_view(info.name) == name) return &info;
  return nullptr;
}

const std::vector<Group>& ReadOrder() {
  static const std::vector<Group> order = {Group::Sri, Group::Bei, Group::Tri, Group::Geo,
                                           Group::Bac, Group::Kpn, Group::Wlt, Group::Pin};
  return order;
}

const std::vector<Group>& SendOrder() {
  static const std::vector<Group> order = {Group::Sri, Group::Bei, Group::Tri, Group::Geo, Group::Rto,
                                           Group::Bac, Group::Kpn, Group::Wlt, Group::Pin};
  return order;
}

}  // namespace kestrun
