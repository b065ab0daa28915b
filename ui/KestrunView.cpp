#include "ui/KestrunView.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <filesystem>
#include <memory>

#include "protocol/ControlIds.h"
#include "ui/FormLayout.h"

namespace kestrun {

using namespace ctl;

namespace {

// A form text field: typing stops at the input limit, counted in bytes of the
// text as stored (UTF-8), so a character that does not fit whole is refused;
// the white-list numbers take digits only, and no field takes a comma (it
// would shift every later field of the command line). Text that the program
// itself puts there (a loaded value over the limit) is shown whole.
class CFormEdit : public QLineEdit {
 public:
  CFormEdit(QWidget* parent, int limit, bool digitsOnly)
      : QLineEdit(parent), limit_(limit), digitsOnly_(digitsOnly) {
    setAcceptDrops(false);
  }

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (Accepts(event->text())) QLineEdit::keyPressEvent(event);
  }
  void inputMethodEvent(QInputMethodEvent* event) override {
    if (Accepts(event->commitString())) QLineEdit::inputMethodEvent(event);
  }

 private:
  bool Accepts(const QString& typed) const {
    if (typed.isEmpty() || !typed.at(0).isPrint()) return true;  // editing keys
    if (typed.contains(',')) return false;
    if (digitsOnly_)
      for (QChar c : typed)
        if (!c.isDigit()) return false;
    const qsizetype after = text().toUtf8().size() - selectedText().toUtf8().size() + typed.toUtf8().size();
    return limit_ <= 0 || after <= limit_;
  }
  int limit_;
  bool digitsOnly_;
};

bool IsClipboardKey(QKeyEvent* key) {
  const int k = key->key();
  const auto mods = key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
  return key->matches(QKeySequence::Copy) || key->matches(QKeySequence::Cut) ||
         key->matches(QKeySequence::Paste) || (k == Qt::Key_Insert && mods == Qt::ControlModifier) ||
         (k == Qt::Key_Insert && mods == Qt::ShiftModifier) ||
         (k == Qt::Key_Delete && mods == Qt::ShiftModifier);
}

bool IsCopyKey(QKeyEvent* key) {
  return key->matches(QKeySequence::Copy) ||
         (key->key() == Qt::Key_Insert &&
          (key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)) == Qt::ControlModifier);
}

// Runs `handler` once for every change of a check box or radio button that a
// user makes, whichever way: a mouse or keyboard click (also on the radio
// button that is already set) arrives as `clicked`; a change without a click,
// such as the accessible toggle action that screen readers and voice control
// use, arrives as `toggled` alone. A click emits `pressed`, then `toggled`,
// then `released` and `clicked`, so a `toggled` between `pressed` and
// `released` is left to the `clicked` that follows. A radio button reacts to
// being set only, not to being cleared by its neighbour.
template <typename Handler>
void ConnectUserToggle(QAbstractButton* button, QObject* context, Handler handler) {
  auto clicking = std::make_shared<bool>(false);
  const bool radio = qobject_cast<QRadioButton*>(button) != nullptr;
  QObject::connect(button, &QAbstractButton::pressed, context, [clicking] { *clicking = true; });
  QObject::connect(button, &QAbstractButton::released, context, [clicking] { *clicking = false; });
  QObject::connect(button, &QAbstractButton::clicked, context, [handler] { handler(); });
  QObject::connect(button, &QAbstractButton::toggled, context, [clicking, radio, handler](bool checked) {
    if (!*clicking && (checked || !radio)) handler();
  });
}

}  // namespace

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
  chooseConfigFile = [this](bool save) { return DefaultChooseConfigFile(save); };
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
      controls_[entry.id] = widget;
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

QWidget* CKestrunView::Control(int id) const {
  const auto found = controls_.find(id);
  return found == controls_.end() ? nullptr : found->second;
}

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

// ---- Form exchange ------------------------------------------------------

std::string CKestrunView::EditBytes(int id) const {
  const auto* edit = static_cast<QLineEdit*>(Control(id));
  const auto found = texts_.find(id);
  if (found != texts_.end() && found->second.shown == edit->text()) return found->second.bytes;
  return edit->text().toStdString();
}

void CKestrunView::SetEditText(int id, const std::string& bytes) {
  auto* edit = static_cast<QLineEdit*>(Control(id));
  TextState& state = texts_[id];
  state.bytes = bytes;
  state.shown = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
  edit->setText(state.shown);
  edit->setCursorPosition(0);
}

bool CKestrunView::PullForm() {
  const bool wasExchanging = exchanging_;
  exchanging_ = true;
  bool ok = true;
  CFormValues& v = model.values;
  for (const Binding& b : Bindings()) {
    QWidget* w = Control(b.id);
    switch (b.kind) {
      case ValueKind::Text: {
        v.Text(b.id) = EditBytes(b.id);
        auto* edit = static_cast<QLineEdit*>(w);
        if (b.limit > 0 && v.Text(b.id).size() > static_cast<std::size_t>(b.limit)) {  // bytes as stored
          showLimitMessage(QString("Please enter no more than %1 characters.").arg(b.limit));
          edit->setFocus();
          edit->selectAll();
          ok = false;
        }
        break;
      }
      case ValueKind::Flag: v.Number(b.id) = static_cast<QCheckBox*>(w)->isChecked() ? 1 : 0; break;
      case ValueKind::Radio: {
        int index = -1;
        for (int i = 0; i < 4; ++i)
          if (static_cast<QRadioButton*>(Control(ReportMode0 + i))->isChecked()) index = i;
        v.Number(b.id) = index;
        break;
      }
      case ValueKind::Index: v.Number(b.id) = static_cast<QComboBox*>(w)->currentIndex(); break;
      case ValueKind::Address: v.Address(b.id) = static_cast<CIpAddressEdit*>(w)->Octets(); break;
      case ValueKind::Preview: break;  // previews are written by the refreshes only
    }
    if (!ok) break;
  }
  exchanging_ = wasExchanging;
  return ok;
}

void CKestrunView::PushValue(int id) {
  const Binding* b = FindBinding(id);
  if (!b) return;
  QWidget* w = Control(id);
  const CFormValues& v = model.values;
  switch (b->kind) {
    case ValueKind::Text:
    case ValueKind::Preview: SetEditText(id, v.Text(id)); break;
    case ValueKind::Flag: static_cast<QCheckBox*>(w)->setChecked(v.Number(id) != 0); break;
    case ValueKind::Radio: {
      // An index outside the group leaves no button set.
      const int index = v.Number(id);
      for (int i = 0; i < 4; ++i) {
        auto* radio = static_cast<QRadioButton*>(Control(ReportMode0 + i));
        radio->setAutoExclusive(false);
        radio->setChecked(i == index);
        radio->setAutoExclusive(true);
      }
      break;
    }
    case ValueKind::Index: {
      auto* combo = static_cast<QComboBox*>(w);
      const int index = v.Number(id);
      combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
      break;
    }
    case ValueKind::Address: static_cast<CIpAddressEdit*>(w)->SetOctets(v.Address(id)); break;
  }
}

void CKestrunView::PushControls(const std::vector<int>& ids) {
  const bool wasExchanging = exchanging_;
  exchanging_ = true;
  for (int id : ids) PushValue(id);
  exchanging_ = wasExchanging;
}

void CKestrunView::PushForm() {
  // The address fields are not form values: they are set where a reply or a
  // config file brings an address.
  std::vector<int> ids;
  for (const Binding& b : Bindings())
    if (b.kind != ValueKind::Address) ids.push_back(b.id);
  PushControls(ids);
}

// ---- Enable rules -------------------------------------------------------

void CKestrunView::ApplyGroupRule(Group group, int row, bool enabled) {
  for (int id : GroupRuleControls(group, row))
    if (QWidget* w = Control(id)) w->setEnabled(enabled);
}

void CKestrunView::UpdateRowSendButton(Group group) {
  const bool geo = group == Group::Geo;
  bool any = false;
  for (int i = 0; i < (geo ? 4 : 5); ++i)
    any = any || model.values.Number(geo ? FenceBox[i] : KeyBox[i]) != 0;
  Control(Info(group).sendButton)->setEnabled(any);
}

void CKestrunView::SetFormEnabled(int state) {
  if (state != 0 && state != 1) return;
  {
    const CFormValues& v = model.values;
    const bool idle = state == 1;
    auto setEnabled = [&](int id, bool enabled) { Control(id)->setEnabled(enabled); };
    for (Group g : {Group::Sri, Group::Bei, Group::Tri})
      ApplyGroupRule(g, 0, idle && v.Number(Info(g).enableBox));
    for (Group g : {Group::Bei, Group::Sri, Group::Tri}) setEnabled(Info(g).enableBox, idle);
    for (int n = 0; n < 4; ++n) ApplyGroupRule(Group::Geo, n, idle && v.Number(FenceBox[n]));
    for (int n = 0; n < 4; ++n) setEnabled(FenceBox[n], idle);
    if (idle)
      UpdateRowSendButton(Group::Geo);
    else
      setEnabled(GeoSend, false);
    for (Group g : {Group::Rto, Group::Bac}) {
      ApplyGroupRule(g, 0, idle && v.Number(Info(g).enableBox));
      setEnabled(Info(g).enableBox, idle);
    }
    for (int k = 0; k < 5; ++k) ApplyGroupRule(Group::Kpn, k, idle && v.Number(KeyBox[k]));
    if (idle)
      UpdateRowSendButton(Group::Kpn);
    else
      setEnabled(KpnSend, false);
    for (int k = 0; k < 5; ++k) setEnabled(KeyBox[k], idle);
    for (Group g : {Group::Wlt, Group::Pin}) {
      ApplyGroupRule(g, 0, idle && v.Number(Info(g).enableBox));
      setEnabled(Info(g).enableBox, idle);
    }
    for (const GroupInfo& info : AllGroups())
      if (info.readButton > 0) setEnabled(info.readButton, idle);
  }
}

// ---- Change handlers ----------------------------------------------------

void CKestrunView::OnChanged(int id) {
  if (exchanging_ || !model.liveUpdate) return;
  const Binding* binding = FindBinding(id);
  if (!binding) return;
  PullForm();
  model.CheckFieldRange(id, *this);
  model.RefreshGroup(binding->group, *this);
}

void CKestrunView::OnEnableBox(Group group) {
  if (exchanging_ || !model.liveUpdate) return;
  PullForm();
  model.RefreshGroup(group, *this);
  ApplyGroupRule(group, 0, model.values.Number(Info(group).enableBox) != 0);
}

void CKestrunView::OnFenceBox(int fence) {
  if (exchanging_) return;  // runs whatever the live-update flag says
  PullForm();
  ApplyGroupRule(Group::Geo, fence, model.values.Number(FenceBox[fence]) != 0);
  UpdateRowSendButton(Group::Geo);
  model.RefreshGeoCommands(*this);
}

void CKestrunView::OnKeyBox(int key) {
  if (exchanging_ || !model.liveUpdate) return;
  PullForm();
  model.RefreshKpnCommands(*this);
  ApplyGroupRule(Group::Kpn, key, model.values.Number(KeyBox[key]) != 0);
  UpdateRowSendButton(Group::Kpn);
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
