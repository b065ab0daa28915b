// Where the form's values came from, for the name Save Config File suggests:
// "<IMEI>.ini" when the last Read All of the form read a tracker whose IMEI
// an Identify on the same port gave in this session (in either order), and
// no name once the form holds anything else (a loaded config file, a Read
// All that failed, a group read from another port). Plain C++, owned by the
// window controller.
#pragma once

#include <map>
#include <string>

#include "protocol/Identity.h"

namespace kestrun {

class CFormOrigin {
 public:
  // An Identify (or any identity queries) answered on COM `port`; an answer
  // without a valid IMEI forgets the port's.
  void Identified(int port, const TrackerIdentity& identity);
  // A Read All into the form has ended on COM `port`; `ok`: every group was read.
  void ReadAll(int port, bool ok);
  // A group was read into the form from COM `port`.
  void GroupRead(int port);
  // The form holds a loaded config file now.
  void Loaded() { port_ = 0; }

  // "<IMEI>.ini", or empty when the form's values are not known to be one
  // tracker's.
  std::string SuggestedFileName() const;

 private:
  std::map<int, std::string> imeis_;  // valid IMEIs by COM number
  int port_ = 0;                      // the port the form was read from; 0: none
};

}  // namespace kestrun
