// Keeps control characters out of a text field. Typed control keys never
// insert text, but a paste, an input method's commit or an accessibility
// tool's set-text can bring CR, LF, TAB, ESC and the like; a CR or LF in a
// value would end its command line and start another. The filter removes them
// from whatever arrives and reports that it did.
#pragma once

#include <QTimer>
#include <QValidator>
#include <functional>

namespace kestrun {

// The notes shown after a removal: from a form field, from the password.
inline constexpr const char* kControlCharsRemovedNote = "Control Characters Removed !";
inline constexpr const char* kPasswordControlCharsRemovedNote =
    "Control Characters Removed From The Password !";

inline bool IsControlChar(QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; }

class CControlCharFilter : public QValidator {
 public:
  using QValidator::QValidator;

  // Runs after a removal, once the field has taken the cleaned text.
  std::function<void()> onRemoved;

  State validate(QString& input, int& pos) const override {
    const bool removed = RemoveControlChars(input, pos);
    const State state = Check(input);
    if (removed && state != Invalid && onRemoved) {
      // Not from inside the field's own edit: the note is a window of its own.
      QTimer::singleShot(0, parent(), [note = onRemoved] { note(); });
    }
    return state;
  }

  // Removes the control characters of `text`, keeping `pos` on the same
  // character; true when there were any.
  static bool RemoveControlChars(QString& text, int& pos) {
    int removedBeforeCursor = 0;
    QString kept;
    kept.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
      if (!IsControlChar(text.at(i)))
        kept += text.at(i);
      else if (i < pos)
        ++removedBeforeCursor;
    }
    if (kept.size() == text.size()) return false;
    text = kept;
    pos -= removedBeforeCursor;
    return true;
  }

 protected:
  // What else the cleaned text must keep to.
  virtual State Check(const QString&) const { return Acceptable; }
};

}  // namespace kestrun
