#include "ui/MainSettingDlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>

#include "protocol/ResultSink.h"
#include "protocol/Validation.h"
#include "settings/Connection.h"
#include "ui/ControlCharFilter.h"
#include "ui/DialogUnits.h"
#include "ui/ResultDlg.h"

namespace kestrun {

namespace {

// The device password goes first into every command line: no comma (it would
// shift every field), no control character (removed, as in the form's
// fields), and short enough that the longest line still fits.
class CPasswordValidator : public CControlCharFilter {
 public:
  using CControlCharFilter::CControlCharFilter;

 protected:
  State Check(const QString& input) const override {
    if (input.contains(',') || static_cast<std::size_t>(input.toUtf8().size()) > kMaxPasswordBytes)
      return Invalid;
    return Acceptable;
  }
};

}  // namespace

CMainSettingDlg::CMainSettingDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Main Setting");
  setAccessibleName("Main Setting");
  setFont(BaseFont(8));
  auto* grid = new QGridLayout(this);
  auto* comLabel = new QLabel("COM:", this);
  com_ = new QComboBox(this);
  com_->setAccessibleName("COM:");
  comLabel->setBuddy(com_);
  devicePath_ = new QLabel(this);
  devicePath_->setAccessibleName("Device");
  devicePath_->setStyleSheet("color: #555;");
  auto* baudLabel = new QLabel("Baudrate:", this);
  baud_ = new QComboBox(this);
  for (const int rate : kBaudRates) baud_->addItem(QString::number(rate));
  baud_->setEnabled(false);
  baud_->setAccessibleName("Baudrate:");
  baudLabel->setBuddy(baud_);
  auto* passwordLabel = new QLabel("Password:", this);
  password_ = new QLineEdit(this);
  password_->setAccessibleName("Password:");
  auto* passwordFilter = new CPasswordValidator(password_);
  passwordFilter->onRemoved = [this] { showFailure(kPasswordControlCharsRemovedNote); };
  password_->setValidator(passwordFilter);
  passwordLabel->setBuddy(password_);
  fastExchange_ = new QCheckBox("Fast exchange", this);
  fastExchange_->setAccessibleName("Fast exchange");
  fastExchange_->setToolTip("Talk to the tracker without the usual waits between lines");
  auto* ok = new QPushButton("OK", this);
  ok->setDefault(true);
  auto* cancel = new QPushButton("Cancel", this);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(com_, &QComboBox::currentIndexChanged, this, [this] { ShowDevicePath(); });

  grid->addWidget(comLabel, 0, 0);
  grid->addWidget(com_, 0, 1);
  grid->addWidget(devicePath_, 1, 1);
  grid->addWidget(baudLabel, 2, 0);
  grid->addWidget(baud_, 2, 1);
  grid->addWidget(passwordLabel, 3, 0);
  grid->addWidget(password_, 3, 1);
  grid->addWidget(fastExchange_, 4, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  grid->addLayout(buttons, 5, 0, 1, 2);
  setMinimumWidth(300);
  showFailure = [this](const std::string& text) {
    auto* popup = new CResultDlg(parentWidget() ? parentWidget()->window() : nullptr, kAppTitle,
                                 QString::fromStdString(text), kIconFailure, false, 1000);
    popup->show();
    popup->raise();
  };
}

FileResult CMainSettingDlg::LoadMainSetting() {
  const FileResult result = settings.Load();
  if (!result) showFailure("Load Main Setting Fail !\n" + result.Lines());
  return result;
}

FileResult CMainSettingDlg::SaveMainSetting() {
  const FileResult result = settings.Save();
  if (!result) showFailure("Save Main Setting Fail !\n" + result.Lines());
  return result;
}

void CMainSettingDlg::ShowDevicePath() {
  const int index = com_->currentIndex();
  if (index >= 0 && index < static_cast<int>(ports.size()))
    devicePath_->setText(QString::fromStdString(ports[index].devicePath));
  else
    devicePath_->setText(ports.empty() ? "No serial port found" : "");
  devicePath_->setAccessibleName(devicePath_->text().isEmpty() ? "Device" : devicePath_->text());
}

void CMainSettingDlg::InitControls() {
  baud_->setCurrentIndex(settings.baudIndex >= 0 && settings.baudIndex < kBaudCount ? settings.baudIndex
                                                                                    : -1);
  shownPassword_ =
      QString::fromUtf8(settings.password.data(), static_cast<qsizetype>(settings.password.size()));
  // A password with control characters (MainSetting.ini edited by hand) is
  // shown, and taken on OK, without them.
  QString shown = shownPassword_;
  int cursor = 0;
  if (CControlCharFilter::RemoveControlChars(shown, cursor)) showFailure(kPasswordControlCharsRemovedNote);
  password_->setText(shown);
  fastExchange_->setChecked(settings.pacing == CPacing::Fast());
  com_->clear();
  // Each item's tooltip: the device, its stable name, and whether it opens now
  // or what is in the way (another program, ModemManager, the device's group).
  const UserAccess user = UserAccess::OfThisProcess();
  for (const PortEntry& port : ports) {
    com_->addItem(QString::number(port.number));
    com_->setItemData(com_->count() - 1,
                      QString::fromStdString(DescribePort(InspectPort(port, systemRoots, user))),
                      Qt::ToolTipRole);
  }
  // The stored port number wins over the stored position when the port is
  // still there: the position names another port once the list has changed.
  com_->setCurrentIndex(ChoosePort(settings, ports).position);
  ShowDevicePath();
}

int CMainSettingDlg::exec() {
  InitControls();
  return QDialog::exec();
}

void CMainSettingDlg::accept() {
  settings.comIndex = com_->currentIndex();
  if (settings.comIndex >= 0 && settings.comIndex < static_cast<int>(ports.size()))
    settings.comNumber = ports[static_cast<std::size_t>(settings.comIndex)].number;
  settings.baudIndex = baud_->currentIndex();
  // A password that is not UTF-8 stays byte for byte unless it was edited.
  if (password_->text() != shownPassword_) settings.password = password_->text().toStdString();
  settings.pacing = fastExchange_->isChecked() ? CPacing::Fast() : CPacing::Specified();
  QDialog::accept();
}

}  // namespace kestrun
