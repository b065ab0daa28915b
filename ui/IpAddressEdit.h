// A four-octet IPv4 address field: four small fields 0 to 255 separated by
// dots. A blank octet reads as 0; every change of an octet is reported.
#pragma once

#include <QLineEdit>
#include <QWidget>
#include <array>

namespace kestrun {

class CIpAddressEdit : public QWidget {
  Q_OBJECT
 public:
  explicit CIpAddressEdit(QWidget* parent = nullptr);
  std::array<int, 4> Octets() const;
  void SetOctets(const std::array<int, 4>& octets);
  QLineEdit* OctetField(int i) const { return fields_[i]; }

 signals:
  void octetChanged();

 private:
  std::array<QLineEdit*, 4> fields_{};
};

}  // namespace kestrun
