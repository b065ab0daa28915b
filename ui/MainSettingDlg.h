// "Main Setting": serial port, baud rate (shown, not changeable) and device
// password. Built once with the view and reused for every showing.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <functional>
#include <string>
#include <vector>

#include "port/PortDiscovery.h"
#include "port/PortNeighbours.h"
#include "settings/MainSettings.h"

namespace kestrun {

class CMainSettingDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CMainSettingDlg(QWidget* parent = nullptr);

  // Both say a failure in a popup that names the file and the reason; a load
  // that fails leaves the defaults, a save that fails leaves the file as it was.
  FileResult LoadMainSetting();
  FileResult SaveMainSetting();
  // Shows a failure popup; replaceable for tests.
  std::function<void(const std::string&)> showFailure;

  // Fills the controls from the values (dialog initialisation); exec() does it.
  void InitControls();
  int exec() override;
  void accept() override;

  CMainSettings settings;
  std::vector<PortEntry> ports;  // detected at start-up, ascending
  SystemRoots systemRoots;       // where the port list's tooltips look for a port's neighbours

  QComboBox* comList() const { return com_; }
  QComboBox* baudList() const { return baud_; }
  QLineEdit* passwordEdit() const { return password_; }
  QCheckBox* fastExchangeBox() const { return fastExchange_; }

 private:
  void ShowDevicePath();
  QComboBox* com_;
  QComboBox* baud_;
  QLineEdit* password_;
  QCheckBox* fastExchange_;
  QLabel* devicePath_;
  QString shownPassword_;
};

}  // namespace kestrun
