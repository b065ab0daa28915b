// GoogleTest entry for the widget tests: one QApplication for the whole run,
// on Qt's offscreen platform unless a display is asked for. The journal rows
// of the window's Read All and Send All go to a data folder of the run's own.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "../support/TestSupport.h"

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const kestrun::testing::TempDir data;
  setenv("XDG_DATA_HOME", data.path().c_str(), 1);
  unsetenv("RV450_JOURNAL");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
