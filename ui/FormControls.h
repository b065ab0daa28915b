// The form's controls by id and their exchange with the form values: pulling
// what the controls show into the values, pushing values onto the controls,
// and the enable rules. While an exchange runs, change handlers stay quiet.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "protocol/FormModel.h"
#include "protocol/Groups.h"

namespace kestrun {

class CFormControls {
 public:
  explicit CFormControls(CFormModel& model) : model_(model) {}
  CFormControls(const CFormControls&) = delete;
  CFormControls& operator=(const CFormControls&) = delete;

  void Add(int id, QWidget* widget);
  QWidget* Control(int id) const;

  // True while values and controls are being exchanged: the controls' change
  // signals then come from the program, not from the user.
  bool Exchanging() const { return exchanging_; }

  // Every bound control into its form value, top to bottom; stops at a text
  // over its input limit (bytes as stored), says so and selects it.
  bool Pull(const std::function<void(const QString&)>& showLimitMessage);
  // The given controls from their values.
  void Push(const std::vector<int>& ids);
  // Every bound control but the address fields from its value.
  void PushAll();
  // Sets a text control without running change handlers.
  void SetTextQuietly(int id, const std::string& bytes);

  // Not idle (an operation runs): every active control off. Idle: each
  // control as its group's enable, fence or key box says.
  void SetEnabled(bool idle);
  void ApplyGroupRule(Group group, int row, bool enabled);
  // The fence or key Send button is on while any row box is ticked.
  void UpdateRowSendButton(Group group);

 private:
  struct TextState {
    std::string bytes;  // the value as bytes, kept while the field is unedited
    QString shown;
  };
  void PushValue(int id);
  void SetEditText(int id, const std::string& bytes);
  std::string EditBytes(int id) const;

  CFormModel& model_;
  std::map<int, QWidget*> controls_;
  std::map<int, TextState> texts_;
  bool exchanging_ = false;  // Pull or Push running
};

}  // namespace kestrun
