// The main window: fixed size, 600 pixels wide at the screen's top left
// corner, the menu bar, and the configuration form as its client area.
#pragma once

#include <QAction>
#include <QMainWindow>

#include "ui/KestrunView.h"
#include "ui/TerminalDlg.h"

namespace kestrun {

inline constexpr const char* kMainTitle = "Marsival RV450 Kestrun Did2.25";

class CMainFrame : public QMainWindow {
  Q_OBJECT
 public:
  CMainFrame();
  ~CMainFrame() override;
  CKestrunView* view() const { return view_; }
  // Width 600, height = screen height - caption - 2 x menu bar; then narrowed
  // to the form's width (plus the scroll bar), never widened.
  void PlaceAndFit();
  QAction* action(const QString& text) const;
  // The terminal window, once the menu has opened it.
  CTerminalDlg* terminal() const { return terminal_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void ShowAbout();
  void ShowHistory();
  void ShowTerminal();
  CKestrunView* view_;
  QList<QAction*> operationGuarded_;
  bool closeWhenIdle_ = false;
  CTerminalDlg* terminal_ = nullptr;  // made when first asked for
};

}  // namespace kestrun
