#include "ui/KestrunView.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <memory>

#include "protocol/ControlIds.h"
#include "ui/FormInputs.h"
#include "ui/FormLayout.h"
#include "ui/FormPage.h"
#include "ui/WindowEvents.h"

namespace kestrun {

using namespace ctl;

CKestrunView::CKestrunView(QWidget* parent)
    : QScrollArea(parent), controller_(*this, [](IEngineEvents& windowSide) {
        return std::make_unique<CWindowEvents>(windowSide);
      }) {
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

// A running operation is stopped and joined before any widget goes; nothing
// it would still report reaches the view.
CKestrunView::~CKestrunView() { controller_.Shutdown(); }

void CKestrunView::BuildForm() {
  page_ = BuildFormPage(form_, this, [this](int id, QWidget* widget) { ConnectControl(id, widget); });
  setWidget(page_.page);
  setWidgetResizable(false);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

void CKestrunView::ConnectControl(int id, QWidget* widget) {
  const Binding* binding = FindBinding(id);
  if (auto* button = qobject_cast<QPushButton*>(widget)) {
    for (const GroupInfo& info : AllGroups()) {
      if (info.readButton == id)
        connect(button, &QPushButton::clicked, this, [this, g = info.group] { controller_.ReadGroup(g); });
      if (info.sendButton == id)
        connect(button, &QPushButton::clicked, this, [this, g = info.group] { controller_.SendGroup(g); });
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
    if (auto* formEdit = dynamic_cast<CFormEdit*>(edit))
      formEdit->SetRemovedNote([this] { ShowFailure(kControlCharsRemovedNote); });
    if (binding && binding->kind == ValueKind::Text)
      connect(edit, &QLineEdit::textChanged, this, [this, id] { OnChanged(id); });
  }
}

int CKestrunView::FormWidthPixels() const { return page_.page->width(); }

QWidget* CKestrunView::Control(int id) const { return form_.Control(id); }

QGroupBox* CKestrunView::GroupBoxOf(Group group) const {
  for (std::size_t i = 0; i < GroupBoxes().size(); ++i)
    if (GroupBoxes()[i].group == group) return page_.groupBoxes[i];
  return nullptr;
}

void CKestrunView::ApplyFonts() {
  ApplyFormFonts(page_);
  history_->textArea()->setCurrentFont(ArialFont());
}

// Disabling the control that has the focus (the Send button just pressed)
// would pass the focus along the tab chain, and the scroll area scrolls to
// wherever it lands. The focus waits on the scroll area instead, which does
// not move, and goes back to its control once the form is enabled again.
void CKestrunView::SetFormEnabled(bool enabled) {
  QWidget* focused = window()->focusWidget();
  if (!enabled && focused && page_.page->isAncestorOf(focused)) {
    parkedFocus_ = focused;
    setFocus(Qt::OtherFocusReason);
  }
  form_.SetEnabled(enabled);
  if (enabled && parkedFocus_) {
    if (parkedFocus_->isEnabled() && window()->focusWidget() == this)
      parkedFocus_->setFocus(Qt::OtherFocusReason);
    parkedFocus_ = nullptr;
  }
}

bool CKestrunView::PullForm() { return form_.Pull(showLimitMessage); }

void CKestrunView::PushForm() { form_.PushAll(); }

void CKestrunView::PushValues(const std::vector<int>& ids) { form_.Push(ids); }

// ---- Change handlers ----------------------------------------------------

void CKestrunView::OnChanged(int id) {
  CFormModel& model = controller_.model();
  if (form_.Exchanging()) return;
  controller_.FieldEdited(id);
  if (!model.liveUpdate) return;
  const Binding* binding = FindBinding(id);
  if (!binding) return;
  PullForm();
  model.CheckFieldRange(id, *this);
  model.RefreshGroup(binding->group, *this);
}

void CKestrunView::OnEnableBox(Group group) {
  CFormModel& model = controller_.model();
  if (form_.Exchanging() || !model.liveUpdate) return;
  PullForm();
  model.RefreshGroup(group, *this);
  form_.ApplyGroupRule(group, 0, model.values.Number(Info(group).enableBox) != 0);
}

void CKestrunView::OnFenceBox(int fence) {
  CFormModel& model = controller_.model();
  if (form_.Exchanging()) return;  // runs whatever the live-update flag says
  PullForm();
  form_.ApplyGroupRule(Group::Geo, fence, model.values.Number(FenceBox[fence]) != 0);
  form_.UpdateRowSendButton(Group::Geo);
  model.RefreshGeoCommands(*this);
}

void CKestrunView::OnKeyBox(int key) {
  CFormModel& model = controller_.model();
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
      if (event->type() == QEvent::KeyPress && IsCopyKey(key)) page_.clipboardArea->copy();
      event->accept();
      return true;
    }
  } else if (event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::MouseButtonPress) {
    if (static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton) return true;
  }
  return QScrollArea::eventFilter(watched, event);
}

}  // namespace kestrun
