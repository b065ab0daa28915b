#include "protocol/FormValues.h"

namespace kestrun {

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
