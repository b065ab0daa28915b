// The shape of the tests of the main window: the real window and view over
// the simulated tracker as COM `comNumber`, Main Setting (`mainSetting`, the
// text of MainSetting.ini) confirmed as a user confirms it, the window shown
// and the port checked. The view's length-limit messages are kept in
// `limitMessages` instead of a message box.
#pragma once

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QStringList>
#include <QTimer>
#include <string>

#include "../support/Popups.h"
#include "../support/SimSupport.h"
#include "../support/TestSupport.h"
#include "ui/MainFrame.h"

namespace kestrun::testing {

// Fast exchange: the tests that take it are not about timing.
inline const char* const kFastMainSetting = "[Main]\nGenPassword=5830\nComPort=0\nBaudrate=1\nPacing=fast\n";

class ViewTest : public SimulatorTest {
 protected:
  explicit ViewTest(int comNumber, std::string mainSetting = kFastMainSetting)
      : SimulatorTest(comNumber), mainSetting_(std::move(mainSetting)) {}
  void SetUp() override {
    SimulatorTest::SetUp();
    view = frame.view();
    view->SetDiscovery(Discovery());
    view->SetStartDirectory(dir.path());
    view->showLimitMessage = [this](const QString& text) { limitMessages << text; };
    WriteFile(dir / "MainSetting.ini", mainSetting_);
    QTimer::singleShot(0, [this] { view->mainSettingDlg()->accept(); });
    ASSERT_TRUE(view->InitialUpdate());
    frame.show();
    view->InitSystem();
  }
  void TearDown() override { DismissPopups(); }
  QLineEdit* Edit(int id) { return qobject_cast<QLineEdit*>(view->Control(id)); }

  CMainFrame frame;
  CKestrunView* view = nullptr;
  QStringList limitMessages;

 private:
  std::string mainSetting_;
};

}  // namespace kestrun::testing
