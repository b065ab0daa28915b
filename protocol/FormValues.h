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

// A bound control is a row of the form fields' table; PullForm and PushForm
// walk the rows in the table's order (top to bottom of the form).
using Binding = FormField;
inline const std::vector<Binding>& Bindings() { return FormFields(); }
inline const Binding* FindBinding(int id) { return FindFormField(id); }

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
