// What the Read and Send drivers need from the user interface. The view
// implements every call by a blocking call onto the window thread, so a call
// has taken effect when it returns.
#pragma once

#include <string>
#include <vector>

#include "protocol/Groups.h"
#include "protocol/ResultSink.h"

namespace kestrun {

class IOperationHost : public virtual IResultSink {
 public:
  virtual void SetStatus(const std::string& text) = 0;
  // Why the status line says what it says (the system's reason for a port
  // that did not open), at hand without another popup.
  virtual void ExplainStatus(const std::string& detail) = 0;
  virtual void AppendHistory(const std::string& line) = 0;
  virtual void SetFormEnabled(int state) = 0;
  // The group's record holds a parsed, capped reply: clear the live-update
  // flag, copy the record into the form, empty the previews, set the flag
  // again and run the group's refresh.
  virtual void PutReplyIntoForm(Group group) = 0;
  // Runs the group's refresh and returns the lines a Send writes for it.
  virtual std::vector<std::string> RefreshForSend(Group group) = 0;
  virtual GroupSelection SendAllSelection() = 0;
  virtual void SetFirmwareVersion(const std::string& version) = 0;
};

}  // namespace kestrun
