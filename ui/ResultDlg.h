// The result popup: a green check or a red cross and one line of text. A
// success closes by itself after its delay; any number can be open at once.
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
             bool autoClose, int delayMs);
  QLabel* messageLabel() const { return message_; }
  QLabel* successIcon() const { return success_; }
  QLabel* failureIcon() const { return failure_; }
  bool autoCloseArmed() const { return timer_.isActive(); }

 private:
  QLabel* success_;
  QLabel* failure_;
  QLabel* message_;
  QTimer timer_;  // the auto-close timer
};

}  // namespace kestrun
