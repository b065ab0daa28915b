#include "ui/IpAddressEdit.h"

#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>

namespace kestrun {

CIpAddressEdit::CIpAddressEdit(QWidget* parent) : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  for (int i = 0; i < 4; ++i) {
    if (i) layout->addWidget(new QLabel(".", this));
    auto* field = new QLineEdit(this);
    field->setValidator(new QIntValidator(0, 255, field));
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
