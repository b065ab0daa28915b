#include "ui/IpAddressEdit.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QValidator>

namespace kestrun {

namespace {

// An octet: empty (reads 0) or a number 0 to 255; anything else is refused
// while typing (QIntValidator would let 256 through as "intermediate").
class COctetValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override {
    if (input.isEmpty()) return Acceptable;
    if (input.size() > 3) return Invalid;
    for (QChar c : input)
      if (!c.isDigit()) return Invalid;
    return input.toInt() <= 255 ? Acceptable : Invalid;
  }
};

}  // namespace

CIpAddressEdit::CIpAddressEdit(QWidget* parent) : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  for (int i = 0; i < 4; ++i) {
    if (i) layout->addWidget(new QLabel(".", this));
    auto* field = new QLineEdit(this);
    field->setValidator(new COctetValidator(field));
    field->setMaxLength(3);
    field->setAlignment(Qt::AlignCenter);
    field->setAccessibleName(QString("Octet %1").arg(i + 1));
    connect(field, &QLineEdit::textChanged, this, [this, field, i](const QString& text) {
      // Moving on after the third digit, as address fields do.
      if (text.size() == 3 && field->hasFocus() && i < 3) fields_[i + 1]->setFocus();
      emit octetChanged();
    });
    fields_[i] = field;
    layout->addWidget(field, 1);
  }
  setFocusProxy(fields_[0]);
}

std::array<int, 4> CIpAddressEdit::Octets() const {
  std::array<int, 4> octets{};
  for (int i = 0; i < 4; ++i) octets[i] = fields_[i]->text().toInt();  // blank reads 0
  return octets;
}

void CIpAddressEdit::SetOctets(const std::array<int, 4>& octets) {
  for (int i = 0; i < 4; ++i) fields_[i]->setText(QString::number(octets[i] & 0xFF));
}

}  // namespace kestrun
