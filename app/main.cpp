// RV450 Kestrun: reads, edits and writes the settings of an RV450 GPS tracker
// over a serial port.
#include <QApplication>
#include <QMessageBox>
#include <iostream>
#include <string>
#include <vector>

#include "app/QuitSignals.h"
#include "app/StartOptions.h"
#include "port/Platform.h"
#include "ui/Icons.h"
#include "ui/MainFrame.h"
#include "ui/ProvisioningWindow.h"

int main(int argc, char** argv) {
  // The arguments as UTF-8 (on Windows from the UTF-16 command line, so that
  // a --workdir outside the ANSI code page keeps its name).
  const std::vector<std::string> given = kestrun::ProgramArguments(argc, argv);
  const std::vector<char*> original(argv + 1, argv + argc);
  // --help and --version need no display.
  const kestrun::StartOptions early = kestrun::ParseStartOptions(given);
  if (early.help) {
    std::cout << kestrun::KestrunHelpText();
    return 0;
  }
  if (early.version) {
    std::cout << kestrun::VersionText("rv450-kestrun");
    return 0;
  }
  kestrun::InstallQuitSignals();

  QApplication app(argc, argv);  // takes Qt's own options out of argv
  const kestrun::StartOptions options = kestrun::ParseStartOptions(kestrun::ArgumentsLeft(original, given, argc, argv));
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
  kestrun::WatchQuitSignals(&app, [&] {
    quitRequested = true;
    for (int i = 0; i < 8; ++i) {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal) break;
      modal->close();
    }
    if (mainFrame && mainFrame->isVisible()) mainFrame->close();
  });
  QApplication::setApplicationName("RV450 Kestrun");
  QGuiApplication::setDesktopFileName("example.kestrun.RV450Kestrun");
  QApplication::setWindowIcon(kestrun::AppIcon());

  const kestrun::WorkFolders folders =
      kestrun::ChooseWorkFolders(options, kestrun::CurrentFolder(),
                                 kestrun::CurrentFolderEnvironment([](const char* name) {
                                   return qEnvironmentVariable(name).toStdString();
                                 }));
  const std::string& folder = folders.settings;
  std::string error;
  if (!kestrun::MakeWorkFolder(folder, error) ||
      (folders.log != folder && !kestrun::MakeWorkFolder(folders.log, error))) {
    std::cerr << "rv450-kestrun: " << error << "\n";
    QMessageBox::critical(nullptr, "RV450 Kestrun",
                          QString::fromStdString("The tool cannot keep its files: " + error));
    return 1;
  }

  // --provisioning: the Provisioning window is the program's window; the form
  // and Main Setting stay closed (the window reads MainSetting.ini itself).
  if (options.provisioning) {
    kestrun::CProvisioningWindow provisioning({}, folder, folders.log);
    mainFrame = &provisioning;
    if (quitRequested) return 0;
    provisioning.show();
    return app.exec();
  }

  kestrun::CMainFrame frame;
  mainFrame = &frame;
  frame.view()->SetStartDirectory(folder);
  frame.view()->SetLogDirectory(folders.log);
  frame.PlaceAndFit();
  // Main Setting not confirmed: the program ends before any window shows.
  if (!frame.view()->InitialUpdate() || quitRequested) return 0;
  frame.setWindowTitle(kestrun::kMainTitle);
  frame.show();
  return app.exec();
}
