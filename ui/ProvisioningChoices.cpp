#include "ui/ProvisioningChoices.h"

#include <QFileDialog>
#include <QHeaderView>
#include <algorithm>

#include "batch/LabelLayout.h"
#include "port/Platform.h"
#include "settings/MainSettings.h"

namespace kestrun {

namespace {

// Paths are UTF-8 below the widgets (QFile::encodeName would give the ANSI
// code page on Windows; on Linux both are UTF-8).
QString Local(const std::string& path) { return QString::fromStdString(path); }
std::string Local(const QString& path) { return path.toStdString(); }

// The columns the user sizes: not the one that takes the spare width.
template <typename Each>
void ForEachSizedColumn(QTableView* rows, Each each) {
  if (!rows || !rows->model()) return;
  QHeaderView* header = rows->horizontalHeader();
  for (int c = 0; c < header->count(); ++c)
    if (header->sectionResizeMode(c) == QHeaderView::Interactive)
      each(c, rows->model()->headerData(c, Qt::Horizontal).toString().toStdString(), header);
}

}  // namespace

CProvisioningChoices::CProvisioningChoices(const std::string& workDir, const Controls& controls,
                                           QObject* parent)
    : QObject(parent),
      mainSettingPath_(BuildMainSettingPath(workDir)),
      folders_(mainSettingPath_, workDir),
      template_(controls.templateEdit),
      table_(controls.tableEdit),
      dealRowsInOrder_(controls.dealRowsInOrder),
      skipDone_(controls.skipDone),
      rows_(controls.rows),
      labelLayout_(controls.labelLayout) {
  dialog = [owner = qobject_cast<QWidget*>(parent)](const QString& caption, const QString& folder,
                                                    const QString& selected, const QString& filter) {
    if (filter.isEmpty()) return QFileDialog::getExistingDirectory(owner, caption, folder);
    return QFileDialog::getOpenFileName(owner, caption, selected.isEmpty() ? folder : selected, filter);
  };
  LoadProvisioningChoices(mainSettingPath_, choices_);  // unreadable: the defaults
  Restore();
  for (QLineEdit* edit : {template_.data(), table_.data()})
    if (edit) connect(edit, &QLineEdit::editingFinished, this, [this] { SaveNow(); });
  for (QCheckBox* box : {dealRowsInOrder_.data(), skipDone_.data()})
    if (box) connect(box, &QCheckBox::toggled, this, [this] { SaveNow(); });
  if (labelLayout_) connect(labelLayout_, &QComboBox::currentIndexChanged, this, [this] { SaveNow(); });
  widthsSettled_.setSingleShot(true);
  widthsSettled_.setInterval(500);
  connect(&widthsSettled_, &QTimer::timeout, this, [this] { SaveNow(); });
  if (rows_)
    connect(rows_->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this] { widthsSettled_.start(); });
}

void CProvisioningChoices::Restore() {
  if (template_) template_->setText(Local(choices_.templateFile));
  if (table_) table_->setText(Local(choices_.tableFile));
  if (dealRowsInOrder_) dealRowsInOrder_->setChecked(choices_.dealRowsInOrder);
  if (skipDone_) skipDone_->setChecked(choices_.skipDone);
  if (batch::LabelLayout layout; labelLayout_ && batch::ParseLabelLayout(choices_.labelLayout, layout))
    if (const int at = labelLayout_->findData(static_cast<int>(layout)); at >= 0)
      labelLayout_->setCurrentIndex(at);
  ForEachSizedColumn(rows_, [&](int column, const std::string& name, QHeaderView* header) {
    for (const auto& [remembered, width] : choices_.columnWidths)
      if (remembered == name) header->resizeSection(column, width);
  });
}

void CProvisioningChoices::Take() {
  if (template_) choices_.templateFile = Local(template_->text());
  if (table_) choices_.tableFile = Local(table_->text());
  if (dealRowsInOrder_) choices_.dealRowsInOrder = dealRowsInOrder_->isChecked();
  if (skipDone_) choices_.skipDone = skipDone_->isChecked();
  if (stationOn_) choices_.stationMode = stationOn_->isChecked();
  if (stationAction_) {
    const std::string action = stationAction_->currentText().toStdString();
    const auto& actions = StationActions();
    if (std::find(actions.begin(), actions.end(), action) != actions.end()) choices_.stationAction = action;
  }
  if (labelLayout_ && labelLayout_->currentIndex() >= 0)
    choices_.labelLayout =
        batch::GeometryOf(static_cast<batch::LabelLayout>(labelLayout_->currentData().toInt())).name;
  if (rows_ && rows_->model()) {
    choices_.columnWidths.clear();
    ForEachSizedColumn(rows_, [&](int column, const std::string& name, QHeaderView* header) {
      choices_.columnWidths.emplace_back(name, header->sectionSize(column));
    });
  }
}

void CProvisioningChoices::SaveNow() {
  widthsSettled_.stop();
  const ProvisioningChoices before = choices_;
  Take();
  // A MainSetting.ini that cannot be written only forgets, as Main Setting's own keys do.
  if (choices_ != before) SaveProvisioningChoices(mainSettingPath_, choices_);
}

void CProvisioningChoices::BindStation(QCheckBox* on, QComboBox* action) {
  stationOn_ = on;
  stationAction_ = action;
  if (on) {
    on->setChecked(choices_.stationMode);
    connect(on, &QCheckBox::toggled, this, [this] { SaveNow(); });
  }
  if (action) {
    if (const int at = action->findText(Local(choices_.stationAction)); at >= 0) action->setCurrentIndex(at);
    connect(action, &QComboBox::currentIndexChanged, this, [this] { SaveNow(); });
  }
}

void CProvisioningChoices::SetStation(bool on, const std::string& action) {
  const ProvisioningChoices before = choices_;
  Take();
  choices_.stationMode = on;
  const auto& actions = StationActions();
  if (std::find(actions.begin(), actions.end(), action) != actions.end()) choices_.stationAction = action;
  if (choices_ != before) SaveProvisioningChoices(mainSettingPath_, choices_);
}

QString CProvisioningChoices::ChooseFile(FileKind kind, QLineEdit* target, const QString& caption,
                                         const QString& filter) {
  const std::string folder = folders_.FolderFor(kind);
  // The file in the field is selected when it is in that folder.
  const std::string current = target ? Local(target->text()) : std::string();
  const QString selected = !current.empty() && FolderOfPath(current) == folder ? Local(current) : QString();
  const QString file = dialog(caption, Local(folder), selected, filter);
  if (file.isEmpty()) return {};
  folders_.Remember(kind, Local(file));
  if (target) target->setText(file);
  SaveNow();
  return file;
}

QString CProvisioningChoices::ChooseFolder(FileKind kind, const QString& caption) {
  const QString folder = dialog(caption, Local(folders_.FolderFor(kind)), {}, {});
  if (!folder.isEmpty()) folders_.Remember(kind, Local(folder));
  return folder;
}

}  // namespace kestrun
