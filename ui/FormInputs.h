// The form's input pieces: the text field that keeps to its limit and
// refuses commas and control characters, the clipboard keys the form filters, and the connection
// that runs a handler once per user change of a check box or radio button.
#pragma once

#include <QAbstractButton>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <memory>

#include "protocol/ValueRules.h"
#include "ui/ControlCharFilter.h"

namespace kestrun {

// A form text field: typing stops at the input limit, counted in bytes of the
// text as stored (UTF-8), so a character that does not fit whole is refused;
// typing adds only the characters the field's value rule takes (digits, a
// plus sign, a decimal point...), and no field takes a comma (it would shift
// every later field of the command line). Control characters are removed
// from whatever reaches the field, with a note. Text that the program itself
// puts there or that is pasted (a loaded value over the limit) is shown whole;
// a value that breaks the field's rule gets a red frame and a tooltip naming
// the rule.
class CFormEdit : public QLineEdit {
 public:
  CFormEdit(QWidget* parent, const FormField& field)
      : QLineEdit(parent), field_(field), filter_(new CControlCharFilter(this)) {
    setAcceptDrops(false);
    setValidator(filter_);
    connect(this, &QLineEdit::textChanged, this, [this] { UpdateRuleMark(); });
  }

  // The note shown when control characters were removed.
  void SetRemovedNote(std::function<void()> note) { filter_->onRemoved = std::move(note); }

  // True while the field shows a value that breaks its rule.
  bool BreaksRule() const { return breaksRule_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (Accepts(event->text())) QLineEdit::keyPressEvent(event);
  }
  void inputMethodEvent(QInputMethodEvent* event) override {
    if (Accepts(event->commitString())) QLineEdit::inputMethodEvent(event);
  }

 private:
  bool Accepts(const QString& typed) const {
    if (typed.isEmpty() || !typed.at(0).isPrint()) return true;  // editing keys
    if (typed.contains(',')) return false;
    for (char32_t c : typed.toUcs4())
      if ((field_.digitsOnly && !(c >= U'0' && c <= U'9')) || !RuleTakesChar(field_.rule, c)) return false;
    const qsizetype after = text().toUtf8().size() - selectedText().toUtf8().size() + typed.toUtf8().size();
    return field_.limit <= 0 || after <= field_.limit;
  }
  void UpdateRuleMark() {
    const auto broken = CheckValueRule(field_, text().toStdString());
    if (broken.has_value() == breaksRule_) return;
    breaksRule_ = broken.has_value();
    setStyleSheet(breaksRule_ ? "QLineEdit { border: 1px solid red; }" : QString());
    setToolTip(breaksRule_ ? QString::fromStdString("Must be " + *broken) : QString());
  }
  const FormField& field_;
  CControlCharFilter* filter_;
  bool breaksRule_ = false;
};

inline bool IsClipboardKey(QKeyEvent* key) {
  const int k = key->key();
  const auto mods = key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
  return key->matches(QKeySequence::Copy) || key->matches(QKeySequence::Cut) ||
         key->matches(QKeySequence::Paste) || (k == Qt::Key_Insert && mods == Qt::ControlModifier) ||
         (k == Qt::Key_Insert && mods == Qt::ShiftModifier) ||
         (k == Qt::Key_Delete && mods == Qt::ShiftModifier);
}

inline bool IsCopyKey(QKeyEvent* key) {
  return key->matches(QKeySequence::Copy) ||
         (key->key() == Qt::Key_Insert &&
          (key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)) == Qt::ControlModifier);
}

// Runs `handler` once for every change of a check box or radio button that a
// user makes, whichever way: a mouse or keyboard click (also on the radio
// button that is already set) arrives as `clicked`; a change without a click,
// such as the accessible toggle action that screen readers and voice control
// use, arrives as `toggled` alone. A click emits `pressed`, then `toggled`,
// then `released` and `clicked`, so a `toggled` between `pressed` and
// `released` is left to the `clicked` that follows. A radio button reacts to
// being set only, not to being cleared by its neighbour.
template <typename Handler>
void ConnectUserToggle(QAbstractButton* button, QObject* context, Handler handler) {
  auto clicking = std::make_shared<bool>(false);
  const bool radio = qobject_cast<QRadioButton*>(button) != nullptr;
  QObject::connect(button, &QAbstractButton::pressed, context, [clicking] { *clicking = true; });
  QObject::connect(button, &QAbstractButton::released, context, [clicking] { *clicking = false; });
  QObject::connect(button, &QAbstractButton::clicked, context, [handler] { handler(); });
  QObject::connect(button, &QAbstractButton::toggled, context, [clicking, radio, handler](bool checked) {
    if (!*clicking && (checked || !radio)) handler();
  });
}

}  // namespace kestrun
