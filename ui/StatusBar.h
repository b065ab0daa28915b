// The window's status bar: it stays at the bottom while the form scrolls. It
// repeats the form's status line, shows the progress of a running operation
// (group n of m, wake-up attempt n of 30), and the config file last saved or
// loaded, and "Journal Problem" once the journal could not be kept (its
// tooltip says why). Its tooltip says why the status says what it says and, where the
// cause of a failure is known, what to do about it.
#pragma once

#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>

namespace kestrun {

class CStatusBar : public QStatusBar {
  Q_OBJECT
 public:
  explicit CStatusBar(QWidget* parent = nullptr);

  // The status text; the tooltip is cleared with it.
  void SetText(const QString& text);
  // Why the status says what it says; the hint comes after it.
  void SetReason(const QString& reason);
  void AddHint(const QString& hint);
  // `label` over `value` of `maximum`; a maximum of 0 hides the bar.
  void ShowProgress(const QString& label, int value, int maximum);
  void ShowFile(const QString& text);
  // The journal could not be kept: a lasting mark whose tooltip is `note`.
  void ShowJournalProblem(const QString& note);

  QLabel* textLabel() const { return text_; }
  QProgressBar* progressBar() const { return progress_; }
  QLabel* fileLabel() const { return file_; }
  QLabel* journalLabel() const { return journal_; }

 private:
  void ShowToolTip();
  QLabel* text_;
  QProgressBar* progress_;
  QLabel* file_;
  QLabel* journal_;
  QString reason_;
  QString hint_;
};

}  // namespace kestrun
