// The result popup: a green check or a red cross and one line of text, and
// where the cause of a failure is known a second, smaller line under it that
// says what to do. A success closes by itself after its delay; any number can
// be open at once.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QTimer>

#include "protocol/ResultSink.h"

namespace kestrun {

class CResultDlg : public QDialog {
  Q_OBJECT
 public:
  CResultDlg(QWidget* owner, const QString& caption, const QString& message, ResultIcon iconKind,
             bool autoClose, int delayMs, const QString& hint = {});
  QLabel* messageLabel() const { return message_; }
  QLabel* hintLabel() const { return hint_; }  // none without a hint
  QLabel* successIcon() const { return success_; }
  QLabel* failureIcon() const { return failure_; }
  bool autoCloseArmed() const { return timer_.isActive(); }

 private:
  QLabel* success_;
  QLabel* failure_;
  QLabel* message_;
  QLabel* hint_ = nullptr;
  QTimer timer_;  // the auto-close timer
};

}  // namespace kestrun
