// RV450 Kestrun: reads, edits and writes the settings of an RV450 GPS tracker
// over a serial port.
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <iostream>

#include "app/StartOptions.h"
#include "ui/Icons.h"
#include "ui/MainFrame.h"
#include "ui/ProvisioningWindow.h"

namespace {

// SIGTERM, SIGINT and SIGHUP (the session ends, Ctrl+C in the terminal) close
// the tool the way its close box does. The handler only writes a byte; the
// window thread reads it in its event loop. Installed before the window
// exists, so that no signal is lost while the tool starts.
int quitSignalSockets[2] = {-1, -1};

void OnQuitSignal(int) {
  const int savedErrno = errno;
  const char byte = 1;
  if (::write(quitSignalSockets[1], &byte, 1) < 0) {
    // Nothing to do: a byte is already waiting.
  }
  errno = savedErrno;
}

void InstallQuitSignals() {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, quitSignalSockets) != 0) return;
  struct sigaction action {};
  action.sa_handler = OnQuitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  // --help and --version need no display.
  const kestrun::StartOptions early = kestrun::ParseStartOptions({argv + 1, argv + argc});
  if (early.help) {
    std::cout << kestrun::KestrunHelpText();
    return 0;
  }
  if (early.version) {
    std::cout << kestrun::VersionText("rv450-kestrun");
    return 0;
  }
  InstallQuitSignals();

  QApplication app(argc, argv);  // takes Qt's own options out of argv
  const kestrun::StartOptions options = kestrun::ParseStartOptions({argv + 1, argv + argc});
  if (!options.error.empty() || !options.unknown.empty()) {
    std::cerr << "rv450-kestrun: "
              << (options.error.empty() ? "unknown option " + options.unknown.front() : options.error)
              << " (see --help)\n";
    return 2;
  }
  // A quit signal closes the dialogs first (an error box or Main Setting at
  // start-up ends the program as its button does), then the main window, which
  // stops a running operation.
  bool quitRequested = false;
  QWidget* mainFrame = nullptr;  // the main window, or the Provisioning window alone
  if (quitSignalSockets[0] >= 0) {
    auto* notifier = new QSocketNotifier(quitSignalSockets[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&] {
      char bytes[16];
      while (::read(quitSignalSockets[0], bytes, sizeof bytes) > 0) {
      }
      quitRequested = true;
      for (int i = 0; i < 8; ++i) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) break;
        modal->close();
      }
      if (mainFrame && mainFrame->isVisible()) mainFrame->close();
    });
  }
  QApplication::setApplicationName("RV450 Kestrun");
  QGuiApplication::setDesktopFileName("example.kestrun.RV450Kestrun");
  QApplication::setWindowIcon(kestrun::AppIcon());

  std::error_code ec;
  const std::string folder = kestrun::ChooseWorkFolder(options, std::filesystem::current_path(ec).string());
  std::string error;
  if (!kestrun::MakeWorkFolder(folder, error)) {
    std::cerr << "rv450-kestrun: " << error << "\n";
    QMessageBox::critical(nullptr, "RV450 Kestrun",
                          QString::fromStdString("The tool cannot keep its files: " + error));
    return 1;
  }

  // --provisioning: the Provisioning window is the program's window; the form
  // and Main Setting stay closed (the window reads MainSetting.ini itself).
  if (options.provisioning) {
    kestrun::CProvisioningWindow provisioning({}, folder);
    mainFrame = &provisioning;
    if (quitRequested) return 0;
    provisioning.show();
    return app.exec();
  }

  kestrun::CMainFrame frame;
  mainFrame = &frame;
  frame.view()->SetStartDirectory(folder);
  frame.PlaceAndFit();
  // Main Setting not confirmed: the program ends before any window shows.
  if (!frame.view()->InitialUpdate() || quitRequested) return 0;
  frame.setWindowTitle(kestrun::kMainTitle);
  frame.show();
  return app.exec();
}
