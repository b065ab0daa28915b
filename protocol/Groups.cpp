#include "protocol/Groups.h"

#include "protocol/ControlIds.h"

namespace kestrun {

const std::array<GroupInfo, kGroupCount>& AllGroups() {
  using namespace ctl;
  static const std::array<GroupInfo, kGroupCount> groups = {{
      {Group::Sri, "SRI", SriEnable, SriRead, SriSend, 200, {SriPreview}},
      {Group::Bei, "BEI", BeiEnable, BeiRead, BeiSend, 120, {BeiPreview}},
      {Group::Tri, "TRI", TriEnable, TriRead, TriSend, 120, {TriPreview}},
      // Four fences at their field limits make a reply of about 280 bytes; a
      // 200-byte read would cut off the closing OK of a group the tool wrote itself.
      {Group::Geo,
       "GEO",
       -1,
       GeoRead,
       GeoSend,
       400,
       {FencePreview[0], FencePreview[1], FencePreview[2], FencePreview[3]}},
      {Group::Bac, "BAC", BacEnable, BacRead, BacSend, 200, {BacPreview}},
      {Group::Kpn,
       "KPN",
       -1,
       KpnRead,
       KpnSend,
       0,
       {KeyPreview[0], KeyPreview[1], KeyPreview[2], KeyPreview[3], KeyPreview[4]}},
      {Group::Rto, "RTO", RtoEnable, -1, RtoSend, -1, {RtoPreview}},
      {Group::Wlt, "WLT", WltEnable, WltRead, WltSend, 900, {WltPreview}},
      {Group::Pin, "PIN", PinEnable, PinRead, PinSend, 500, {PinPreview}},
  }};
  return groups;
}

const GroupInfo& Info(Group group) { return AllGroups()[static_cast<int>(group)]; }

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
