// The form values: one text, flag or list index per bound control of the
// configuration form, keyed by control id, plus the four octets of each IP
// address field. Controls and values meet only through PullForm and PushForm.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "protocol/Fields.h"
#include "protocol/FormFields.h"
#include "protocol/Groups.h"

namespace kestrun {

struct Binding {
  int id;
  ValueKind kind;
  int limit;  // input limit of a text field, 0 for none
  Group group;
  bool digitsOnly;  // the white-list numbers
};

// Every bound control, in the order PullForm and PushForm walk them (top to
// bottom of the form): the form fields' table seen by id, kind and limit.
const std::vector<Binding>& Bindings();
const Binding* FindBinding(int id);

class CFormValues {
 public:
  CFormValues();
  std::string& Text(int id) { return texts_.at(id); }
  const std::string& Text(int id) const { return texts_.at(id); }
  int& Number(int id) { return numbers_.at(id); }
  int Number(int id) const { return numbers_.at(id); }
  Octets& Address(int id) { return addresses_.at(id); }
  const Octets& Address(int id) const { return addresses_.at(id); }

 private:
  std::map<int, std::string> texts_;
  std::map<int, int> numbers_;
  std::map<int, Octets> addresses_;
};

}  // namespace kestrun
