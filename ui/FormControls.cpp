#include "ui/FormControls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>

#include "protocol/ControlIds.h"
#include "ui/FormLayout.h"
#include "ui/IpAddressEdit.h"

namespace kestrun {

using namespace ctl;

void CFormControls::Add(int id, QWidget* widget) { controls_[id] = widget; }

QWidget* CFormControls::Control(int id) const {
  const auto found = controls_.find(id);
  return found == controls_.end() ? nullptr : found->second;
}

void CFormControls::SetTextQuietly(int id, const std::string& bytes) {
  const bool wasExchanging = exchanging_;
  exchanging_ = true;
  SetEditText(id, bytes);
  exchanging_ = wasExchanging;
}

std::string CFormControls::EditBytes(int id) const {
  const auto* edit = static_cast<QLineEdit*>(Control(id));
  const auto found = texts_.find(id);
  if (found != texts_.end() && found->second.shown == edit->text()) return found->second.bytes;
  return edit->text().toStdString();
}

void CFormControls::SetEditText(int id, const std::string& bytes) {
  auto* edit = static_cast<QLineEdit*>(Control(id));
  TextState& state = texts_[id];
  state.bytes = bytes;
  state.shown = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
  edit->setText(state.shown);
  edit->setCursorPosition(0);
}

bool CFormControls::Pull(const std::function<void(const QString&)>& showLimitMessage) {
  const bool wasExchanging = exchanging_;
  exchanging_ = true;
  bool ok = true;
  CFormValues& v = model_.values;
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

void CFormControls::PushValue(int id) {
  const Binding* b = FindBinding(id);
  if (!b) return;
  QWidget* w = Control(id);
  const CFormValues& v = model_.values;
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

void CFormControls::Push(const std::vector<int>& ids) {
  const bool wasExchanging = exchanging_;
  exchanging_ = true;
  for (int id : ids) PushValue(id);
  exchanging_ = wasExchanging;
}

void CFormControls::PushAll() {
  // The address fields are not form values: they are set where a reply or a
  // config file brings an address.
  std::vector<int> ids;
  for (const Binding& b : Bindings())
    if (b.kind != ValueKind::Address) ids.push_back(b.id);
  Push(ids);
}

void CFormControls::ApplyGroupRule(Group group, int row, bool enabled) {
  for (int id : GroupRuleControls(group, row))
    if (QWidget* w = Control(id)) w->setEnabled(enabled);
}

void CFormControls::UpdateRowSendButton(Group group) {
  const bool geo = group == Group::Geo;
  bool any = false;
  for (int i = 0; i < (geo ? 4 : 5); ++i)
    any = any || model_.values.Number(geo ? FenceBox[i] : KeyBox[i]) != 0;
  Control(Info(group).sendButton)->setEnabled(any);
}

void CFormControls::SetEnabled(bool idle) {
  const CFormValues& v = model_.values;
  auto setEnabled = [&](int id, bool on) { Control(id)->setEnabled(on); };
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

}  // namespace kestrun
