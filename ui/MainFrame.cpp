#include "ui/MainFrame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>

#include "ui/AboutDlg.h"
#include "ui/Icons.h"

namespace kestrun {

CMainFrame::CMainFrame()
    : QMainWindow(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
  setWindowTitle(kMainTitle);
  setWindowIcon(AppIcon());
  view_ = new CKestrunView(this);
  setCentralWidget(view_);
  // Below the scrolling form, so the status and the progress stay in sight.
  auto* bar = new CStatusBar(this);
  setStatusBar(bar);
  view_->SetStatusBar(bar);

  QMenu* operation = menuBar()->addMenu("&Operation");
  operationGuarded_ << operation->addAction("Send All", view_, [this] { view_->OnSendAll(); });
  operationGuarded_ << operation->addAction("Read All", view_, [this] { view_->OnReadAll(); });
  operationGuarded_ << operation->addAction("Identify Tracker", view_, [this] { view_->OnIdentify(); });
  operationGuarded_ << operation->addAction("Compare With Tracker", view_,
                                            [this] { view_->OnCompareWithTracker(); });
  operation->addSeparator();
  // Not guarded: the terminal itself refuses while an operation runs, and says so.
  operation->addAction("Terminal", this, [this] { ShowTerminal(); });
  // Many trackers at once on their own ports; the form's port is refused
  // while the Provisioning window uses it.
  operation->addAction("Provisioning...", this, [this] { ShowProvisioning(); });
  // Closing the history window only hides it; this brings it back. It only
  // shows what is there, so it stays usable while an operation runs.
  operation->addSeparator();
  operation->addAction("Protocol Commands History", this, [this] { ShowHistory(); });
  QMenu* config = menuBar()->addMenu("&Config");
  operationGuarded_ << config->addAction("Main Setting", view_, [this] { view_->OnMainSetting(); });
  operationGuarded_ << config->addAction("Save Config File", view_, [this] { view_->OnSaveConfigFile(); });
  operationGuarded_ << config->addAction("Load Config File", view_, [this] { view_->OnLoadConfigFile(); });
  QMenu* about = menuBar()->addMenu("&About");
  about->addAction("&About This Tool", this, [this] { ShowAbout(); });

  // One device operation at a time: these commands wait until it has ended.
  connect(view_, &CKestrunView::busyChanged, this, [this](bool busy) {
    for (QAction* a : operationGuarded_) a->setEnabled(!busy);
    if (!busy && closeWhenIdle_) close();
  });
}

// The terminal window goes first: it reports to the view's controller.
CMainFrame::~CMainFrame() { delete terminal_; }

QAction* CMainFrame::action(const QString& text) const {
  for (QAction* menu : menuBar()->actions())
    for (QAction* a : menu->menu()->actions())
      if (a->text() == text) return a;
  return nullptr;
}

void CMainFrame::PlaceAndFit() {
  const QScreen* screen = this->screen();
  const int screenHeight = screen ? screen->geometry().height() : 768;
  const int caption = style()->pixelMetric(QStyle::PM_TitleBarHeight);
  const int menuHeight = menuBar()->sizeHint().height();
  const int height = screenHeight - caption - 2 * menuHeight;
  const int formWidth =
      view_->FormWidthPixels() + view_->verticalScrollBar()->sizeHint().width() + 2 * view_->frameWidth();
  setFixedSize(std::min(600, formWidth), height);
  move(0, 0);
}

void CMainFrame::ShowHistory() {
  CHistoryDlg* history = view_->historyDlg();
  if (!history) return;  // made during start-up, after Main Setting
  history->showNormal();
  history->raise();
  history->activateWindow();
}

void CMainFrame::ShowTerminal() {
  if (!terminal_) {
    terminal_ = new CTerminalDlg(view_->controller(), this);
    // Beside the form, under the history window.
    const CHistoryDlg* history = view_->historyDlg();
    terminal_->move(601, history ? history->frameGeometry().bottom() + 1 : 0);
  }
  terminal_->showNormal();
  terminal_->raise();
  terminal_->activateWindow();
  terminal_->input()->setFocus();
}

void CMainFrame::ShowProvisioning() {
  if (!provisioning_) {
    const CWindowController& controller = view_->controller();
    provisioning_ = new CProvisioningWindow(controller.discovery(), controller.startDirectory(),
                                            controller.logDirectory(), this);
  }
  provisioning_->showNormal();
  provisioning_->raise();
  provisioning_->activateWindow();
}

void CMainFrame::ShowAbout() {
  CAboutDlg about(this);
  about.exec();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  // Closing mid-operation: every window goes out of sight at once, the worker
  // is told to stop, and the program ends once it has closed the port.
  if (view_->IsBusy()) {
    closeWhenIdle_ = true;
    view_->AbortOperation();
    for (QWidget* window : QApplication::topLevelWidgets()) window->hide();
    event->ignore();
    return;
  }
  QMainWindow::closeEvent(event);
  // The history window and open popups must not keep the program alive.
  if (event->isAccepted()) QCoreApplication::quit();
}

}  // namespace kestrun
