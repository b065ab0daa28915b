// "Protocol Commands History": every settings command line written to the
// tracker, one per line. Closing it only hides it; lines still arrive.
#pragma once

#include <QDialog>
#include <QTextEdit>

namespace kestrun {

class CHistoryDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CHistoryDlg(QWidget* owner);
  void Append(const QString& line);
  void Clear();
  QTextEdit* textArea() const { return text_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QTextEdit* text_;
};

}  // namespace kestrun
