// "Terminal": the user's own AT lines to the tracker on the port of Main
// Setting. Enter sends the typed line with a carriage return, after the
// wake-up lines while "Wake first" is ticked; Ctrl+Z sends the byte 0x1A alone,
// never woken, as it ends a text the tracker waits for (an SMS after its "> "
// prompt). Up and Down recall earlier lines. The reply shows as it
// arrives, each line with its time, in a read-only monospace view, and so do
// the notes of the exchange (why nothing was sent, how the reply ended, what
// failed). The exchange runs on the window controller's terminal runner, off
// the window thread; while an operation has the port the terminal refuses and
// says so. Closing the window only hides it.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStringList>

#include "engine/EngineEvents.h"

namespace kestrun {

class CWindowController;

class CTerminalDlg : public QDialog, public IEngineEvents {
  Q_OBJECT
 public:
  CTerminalDlg(CWindowController& controller, QWidget* owner);
  ~CTerminalDlg() override;

  // Sends `text` (with a carriage return, or alone); false (said in the
  // view) while an operation has the port.
  bool Send(const std::string& text, bool carriageReturn);

  QPlainTextEdit* view() const { return view_; }
  QLineEdit* input() const { return input_; }
  QCheckBox* wakeFirst() const { return wakeFirst_; }

  // The exchange's events, on the window thread.
  void StatusChanged(const std::string& text) override;
  void StatusExplained(const std::string& detail) override;
  void WakeUpAttempt(int attempt, int count) override;
  void TerminalReply(const std::string& chunk) override;
  void OperationFinished(const OperationResult& result) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void OnEnter();
  // Up (-1) or Down (+1) through the lines sent.
  void Recall(int step);
  // A new line in the view: the time, `mark` and `text`.
  void AddLine(const char* mark, const QString& text);
  void Note(const std::string& text);

  CWindowController& controller_;
  QPlainTextEdit* view_;
  QLineEdit* input_;
  QCheckBox* wakeFirst_;
  QStringList history_;
  int recalled_ = 0;            // position in history_; its size: the new line
  bool replyLineOpen_ = false;  // the view's last line is a reply line still arriving
};

}  // namespace kestrun
