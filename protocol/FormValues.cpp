#include "protocol/FormValues.h"

namespace kestrun {

namespace {

std::vector<Binding> MakeBindings() {
  std::vector<Binding> bindings;
  for (const FormField& f : FormFields()) bindings.push_back({f.id, f.kind, f.limit, f.group, f.digitsOnly});
  return bindings;
}

}  // namespace

const std::vector<Binding>& Bindings() {
  static const std::vector<Binding> bindings = MakeBindings();
  return bindings;
}

const Binding* FindBinding(int id) {
  for (const Binding& b : Bindings())
    if (b.id == id) return &b;
  return nullptr;
}

CFormValues::CFormValues() {
  for (const Binding& b : Bindings()) {
    switch (b.kind) {
      case ValueKind::Text:
      case ValueKind::Preview: texts_[b.id]; break;
      case ValueKind::Address: addresses_[b.id] = {}; break;
      default: numbers_[b.id] = 0; break;
    }
  }
}

}  // namespace kestrun
