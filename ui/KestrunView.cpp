#include "ui/KestrunView.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <filesystem>
#include <memory>

#include "protocol/ControlIds.h"
#include "ui/FormInputs.h"
#include "ui/FormLayout.h"

namespace kestrun {

using namespace ctl;

CKestrunView::CKestrunView(QWidget* parent) : QScrollArea(parent) {
  setAccessibleName("Configuration Form");
  BuildForm();
  startupTimer_.setInterval(500);
  connect(&startupTimer_, &QTimer::timeout, this, [this] { InitSystem(); });
  mainSetting_ = new CMainSettingDlg(this);
  showLimitMessage = [this](const QString& text) {
    QMessageBox box(QMessageBox::Warning, kAppTitle, text, QMessageBox::Ok, this);
    box.setAccessibleName(text);
    box.exec();
  };
}

CKestrunView::~CKestrunView() {
  // A running operation reports nothing more; it is stopped (closing its port)
  // and joined before any member goes. No event loop runs here.
  events_.Detach();
  engine_.Stop();
  engine_.Wait();
}

void CKestrunView::BuildForm() {
  const QFont base = BaseFont(8);
  const CDialogUnits du(base);
  page_ = new QWidget;
  page_->setFont(base);
  page_->setFixedSize(du.Size(kPageWidthDlu, kPageHeightDlu));
  page_->setAccessibleName("Configuration Form");
  for (const GroupBoxEntry& entry : GroupBoxes()) {
    auto* box = new QGroupBox(QString::fromStdString(entry.title), page_);
    box->setGeometry(du.Rect(kGroupLeftDlu, entry.top, kGroupWidthDlu, entry.height));
    box->setAccessibleName(box->title());
    groupBoxes_.push_back(box);
  }
  for (const ControlEntry& entry : FormControls()) {
    QWidget* parent = entry.groupIndex >= 0 ? groupBoxes_[entry.groupIndex] : page_;
    QRect rect = du.Rect(entry.rect.x, entry.rect.y, entry.rect.w, entry.rect.h);
    if (entry.groupIndex >= 0) rect.translate(-groupBoxes_[entry.groupIndex]->pos());
    const QString caption = QString::fromStdString(entry.caption);
    QWidget* widget = nullptr;
    switch (entry.kind) {
      case CtlKind::Frame: {
        auto* frame = new QGroupBox(caption, parent);
        frame->lower();
        widget = frame;
        break;
      }
      case CtlKind::Label: {
        auto* label = new QLabel(caption, parent);
        label->setWordWrap(entry.rect.h > 10);  // column heads of two lines
        widget = label;
        break;
      }
      case CtlKind::Status: widget = status_ = new QLabel(parent); break;
      case CtlKind::CheckBox: widget = new QCheckBox(caption, parent); break;
      case CtlKind::Radio: widget = new QRadioButton(caption, parent); break;
      case CtlKind::Button: widget = new QPushButton(caption, parent); break;
      case CtlKind::Edit:
      case CtlKind::Preview: {
        const Binding* b = FindBinding(entry.id);
        QLineEdit* edit = entry.kind == CtlKind::Edit && b ? new CFormEdit(parent, b->limit, b->digitsOnly)
                                                           : new QLineEdit(parent);
        edit->setReadOnly(entry.kind == CtlKind::Preview);
        edit->setContextMenuPolicy(Qt::NoContextMenu);  // no paste through the menu
        edit->installEventFilter(this);
        widget = edit;
        break;
      }
      case CtlKind::Combo: {
        auto* combo = new QComboBox(parent);
        for (const std::string& item : entry.items) combo->addItem(QString::fromStdString(item));
        combo->installEventFilter(this);
        widget = combo;
        break;
      }
      case CtlKind::IpField: {
        auto* ip = new CIpAddressEdit(parent);
        for (int i = 0; i < 4; ++i) ip->OctetField(i)->installEventFilter(this);
        widget = ip;
        break;
      }
      case CtlKind::RichText: {
        clipboardArea_ = new QTextEdit(parent);
        clipboardArea_->setEnabled(false);
        widget = clipboardArea_;
        break;
      }
      case CtlKind::GroupBox: break;
    }
    if (!widget) continue;
    widget->setGeometry(rect);
    widget->setAccessibleName(QString::fromStdString(entry.accessibleName));
    if (entry.kind == CtlKind::Frame) widget->lower();
    if (entry.kind == CtlKind::RichText) widget->hide();
    if (entry.id) {
      form_.Add(entry.id, widget);
      ConnectControl(entry.id, widget);
    }
  }
  // Labels name the field they stand beside (screen readers read a list by its label).
  for (const ControlEntry& entry : FormControls()) {
    if (entry.kind != CtlKind::Label || !entry.labelFor) continue;
    for (QLabel* label :
         groupBoxes_[entry.groupIndex]->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly))
      if (label->text() == QString::fromStdString(entry.caption)) label->setBuddy(Control(entry.labelFor));
  }
  status_->setAccessibleName("Status");
  setWidget(page_);
  setWidgetResizable(false);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

void CKestrunView::ConnectControl(int id, QWidget* widget) {
  const Binding* binding = FindBinding(id);
  if (auto* button = qobject_cast<QPushButton*>(widget)) {
    for (const GroupInfo& info : AllGroups()) {
      if (info.readButton == id)
        connect(button, &QPushButton::clicked, this, [this, g = info.group] { OnReadButton(g); });
      if (info.sendButton == id)
        connect(button, &QPushButton::clicked, this, [this, g = info.group] { OnSendButton(g); });
    }
  } else if (auto* box = qobject_cast<QCheckBox*>(widget)) {
    for (int n = 0; n < 4; ++n)
      if (id == FenceBox[n]) return ConnectUserToggle(box, this, [this, n] { OnFenceBox(n); });
    for (int k = 0; k < 5; ++k)
      if (id == KeyBox[k]) return ConnectUserToggle(box, this, [this, k] { OnKeyBox(k); });
    for (const GroupInfo& info : AllGroups())
      if (info.enableBox == id)
        return ConnectUserToggle(box, this, [this, g = info.group] { OnEnableBox(g); });
    ConnectUserToggle(box, this, [this, id] { OnChanged(id); });
  } else if (auto* radio = qobject_cast<QRadioButton*>(widget)) {
    ConnectUserToggle(radio, this, [this] { OnChanged(ReportMode); });
  } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
    connect(combo, &QComboBox::currentIndexChanged, this, [this, id] { OnChanged(id); });
  } else if (auto* ip = qobject_cast<CIpAddressEdit*>(widget)) {
    connect(ip, &CIpAddressEdit::octetChanged, this, [this, id] { OnChanged(id); });
  } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    if (binding && binding->kind == ValueKind::Text)
      connect(edit, &QLineEdit::textChanged, this, [this, id] { OnChanged(id); });
  }
}

int CKestrunView::FormWidthPixels() const { return page_->width(); }

QWidget* CKestrunView::Control(int id) const { return form_.Control(id); }

QGroupBox* CKestrunView::GroupBoxOf(Group group) const {
  for (std::size_t i = 0; i < GroupBoxes().size(); ++i)
    if (GroupBoxes()[i].group == group) return groupBoxes_[i];
  return nullptr;
}

void CKestrunView::ApplyFonts() {
  // Group titles: bold serif, 12 pixels; everything inside keeps the base font.
  titleFont_ = QFont();
  titleFont_.setFamilies({"Times New Roman", "Liberation Serif", "DejaVu Serif"});
  titleFont_.setPixelSize(12);
  titleFont_.setWeight(QFont::DemiBold);
  const QFont base = BaseFont(8);
  for (QGroupBox* box : groupBoxes_) {
    for (QWidget* child : box->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
      child->setFont(base);
    box->setFont(titleFont_);
  }
  clipboardArea_->setCurrentFont(ArialFont());
  clipboardArea_->setFont(ArialFont());
  history_->textArea()->setCurrentFont(ArialFont());
}

void CKestrunView::SetFormEnabled(bool enabled) { form_.SetEnabled(enabled); }

bool CKestrunView::PullForm() { return form_.Pull(showLimitMessage); }

void CKestrunView::PushForm() { form_.PushAll(); }

// ---- Change handlers ----------------------------------------------------

void CKestrunView::OnChanged(int id) {
  if (form_.Exchanging() || !model.liveUpdate) return;
  const Binding* binding = FindBinding(id);
  if (!binding) return;
  PullForm();
  model.CheckFieldRange(id, *this);
  model.RefreshGroup(binding->group, *this);
}

void CKestrunView::OnEnableBox(Group group) {
  if (form_.Exchanging() || !model.liveUpdate) return;
  PullForm();
  model.RefreshGroup(group, *this);
  form_.ApplyGroupRule(group, 0, model.values.Number(Info(group).enableBox) != 0);
}

void CKestrunView::OnFenceBox(int fence) {
  if (form_.Exchanging()) return;  // runs whatever the live-update flag says
  PullForm();
  form_.ApplyGroupRule(Group::Geo, fence, model.values.Number(FenceBox[fence]) != 0);
  form_.UpdateRowSendButton(Group::Geo);
  model.RefreshGeoCommands(*this);
}

void CKestrunView::OnKeyBox(int key) {
  if (form_.Exchanging() || !model.liveUpdate) return;
  PullForm();
  model.RefreshKpnCommands(*this);
  form_.ApplyGroupRule(Group::Kpn, key, model.values.Number(KeyBox[key]) != 0);
  form_.UpdateRowSendButton(Group::Kpn);
}

// Copy goes to the hidden rich-text area; cut and paste do nothing; none of
// them reaches the form's fields. Middle-click paste is refused as well.
bool CKestrunView::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (IsClipboardKey(key)) {
      if (event->type() == QEvent::KeyPress && IsCopyKey(key)) clipboardArea_->copy();
      event->accept();
      return true;
    }
  } else if (event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::MouseButtonPress) {
    if (static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton) return true;
  }
  return QScrollArea::eventFilter(watched, event);
}

}  // namespace kestrun
