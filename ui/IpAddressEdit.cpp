#include "ui/IpAddressEdit.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QRegularExpression>
#include <QToolTip>
#include <QValidator>

namespace kestrun {

namespace {

// What a box takes: up to three digits, or a run of digits, full stops and
// spaces (a dotted address from an input method or an assistive tool, which
// the field spreads over the boxes).
class COctetValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override {
    bool separators = false;
    for (QChar c : input) {
      if (c == '.' || c == ' ')
        separators = true;
      else if (!c.isDigit())
        return Invalid;
    }
    return separators || input.size() <= 3 ? Acceptable : Invalid;
  }
};

bool IsSeparatorKey(const QKeyEvent* key) { return key->text() == "." || key->text() == " "; }

}  // namespace

CIpAddressEdit::CIpAddressEdit(QWidget* parent) : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  for (int i = 0; i < 4; ++i) {
    if (i) layout->addWidget(new QLabel(".", this));
    auto* field = new QLineEdit(this);
    field->setValidator(new COctetValidator(field));
    field->setAlignment(Qt::AlignCenter);
    field->setAccessibleName(QString("Octet %1").arg(i + 1));
    field->installEventFilter(this);
    connect(field, &QLineEdit::textChanged, this, [this, i] { OnTextChanged(i); });
    fields_[i] = field;
    layout->addWidget(field, 1);
  }
  setFocusProxy(fields_[0]);
}

QString CIpAddressEdit::CappedNote(const QString& typed) {
  return QString("An octet is 0 to 255: %1 became 255").arg(typed);
}

void CIpAddressEdit::MoveTo(int box, bool selectAll) {
  QLineEdit* field = fields_[box];
  field->setFocus();
  if (selectAll)
    field->selectAll();
  else
    field->end(false);
}

void CIpAddressEdit::OnTextChanged(int box) {
  if (adjusting_) return;
  QLineEdit* field = fields_[box];
  // A dotted text spreads over this box and the ones after it.
  const QStringList parts = field->text().split(QRegularExpression("[. ]"));
  adjusting_ = true;
  int last = box;
  for (int i = 0; i < parts.size() && box + i < 4; ++i) {
    QString part = parts[i].left(3);
    if (part.toInt() > 255) {
      const QString note = CappedNote(parts[i]);
      part = "255";
      QToolTip::showText(fields_[box + i]->mapToGlobal(QPoint(0, fields_[box + i]->height())), note,
                         fields_[box + i]);
      emit octetCapped(box + i, note);
    }
    if (fields_[box + i]->text() != part) fields_[box + i]->setText(part);
    if (i == 0 || !part.isEmpty()) last = box + i;
  }
  adjusting_ = false;
  emit octetChanged();
  if (!field->hasFocus()) return;
  if (parts.size() > 1 && last > box)
    MoveTo(last, false);
  else if (parts.size() == 1 && field->text().size() == 3 && box < 3)
    MoveTo(box + 1, true);  // moving on after the third digit, as address fields do
}

bool CIpAddressEdit::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
  const auto* key = static_cast<QKeyEvent*>(event);
  for (int i = 0; i < 4; ++i) {
    if (watched != fields_[i]) continue;
    if (IsSeparatorKey(key)) {
      // A full stop or a space after a number moves on; in an empty box it does nothing.
      if (i < 3 && !fields_[i]->text().isEmpty()) MoveTo(i + 1, true);
      return true;
    }
    if (key->key() == Qt::Key_Backspace && i > 0 && fields_[i]->text().isEmpty()) {
      MoveTo(i - 1, false);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
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
