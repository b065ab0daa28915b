// The nine settings groups as data: names, queries, controls and reply reading.
#pragma once

#include <array>
#include <vector>

namespace kestrun {

// Index order of a GroupSelection (and of this table).
enum class Group { Sri, Bei, Tri, Geo, Bac, Kpn, Rto, Wlt, Pin };
constexpr int kGroupCount = 9;

using GroupSelection = std::array<bool, kGroupCount>;

struct GroupInfo {
  Group group;
  const char* name;  // "SRI": command "AT+RVSRI", tag "RVSRI:"
  int enableBox;     // -1: rows switch themselves (GEO, KPN)
  int readButton;    // -1: never read (RTO)
  int sendButton;
  int readMax;      // bytes of the one reply read; 0: collect until quiet (KPN)
  int replyFields;  // fields of the query's reply body (0: no query)
  int lineFields;   // fields of a settings line, password and stamp included (WLT: all ten numbers)
  std::vector<int> previews;
};

const GroupInfo& Info(Group group);
// The group named "SRI", "BEI", ..., or null.
const GroupInfo* FindGroup(const char* name);
const std::array<GroupInfo, kGroupCount>& AllGroups();

// Groups in the order a Read handles them (RTO has no query).
const std::vector<Group>& ReadOrder();
// Groups in the order a Send handles them (RTO between GEO and BAC).
const std::vector<Group>& SendOrder();

}  // namespace kestrun
