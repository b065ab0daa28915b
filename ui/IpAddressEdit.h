// A four-octet IPv4 address field: four small boxes 0 to 255 separated by
// dots, behaving as address fields do: a full stop or a space moves to the
// next box, a dotted address typed or dropped into a box by an input method
// fills the boxes from there on, the third digit moves on, Backspace in an
// empty box goes back to the previous one, and an octet over 255 becomes 255
// with a short note. A blank octet reads as 0; every change of an octet is
// reported.
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

  // The note shown when a box's number was over 255.
  static QString CappedNote(const QString& typed);

 signals:
  void octetChanged();
  // A box held a number over 255 and now holds 255.
  void octetCapped(int box, const QString& note);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OnTextChanged(int box);
  void MoveTo(int box, bool selectAll);
  std::array<QLineEdit*, 4> fields_{};
  bool adjusting_ = false;  // a box's text is being set from OnTextChanged
};

}  // namespace kestrun
