// RV450 Kestrun: reads, edits and writes the settings of an RV450 GPS tracker
// over a serial port.
#include <QApplication>

#include "ui/Icons.h"
#include "ui/MainFrame.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("RV450 Kestrun");
  QApplication::setWindowIcon(kestrun::AppIcon());
  kestrun::CMainFrame frame;
  frame.PlaceAndFit();
  // Main Setting not confirmed: the program ends before any window shows.
  if (!frame.view()->InitialUpdate()) return 0;
  frame.setWindowTitle(kestrun::kMainTitle);
  frame.show();
  return app.exec();
}
