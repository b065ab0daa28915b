// What the window controller needs from the screen: the status line and its
// tooltip, popups with their hints and preview texts (IFormOutput), the
// operation's progress, history lines, the form's
// exchange and enabling, the busy state, the port check's timer and the Main
// Setting dialog. The configuration form view implements it with widgets;
// tests implement it with plain records. Called on the window thread only.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/EngineEvents.h"
#include "port/PortDiscovery.h"
#include "protocol/FormModel.h"
#include "settings/KeyCompare.h"
#include "settings/MainSettings.h"

namespace kestrun {

class IWindowView : public IFormOutput {
 public:
  // The status line, and why it says what it says (its tooltip).
  virtual void SetStatus(const std::string& text) = 0;
  virtual void ExplainStatus(const std::string& detail) = 0;
  // What to do about a failure whose cause is known: said after whatever the
  // tooltip explains already.
  virtual void ShowHint(const std::string& hint) = 0;
  // A popup the engine asked for, with its hint (if any) as a second line.
  virtual void ShowPopup(const PopupRequest& popup) = 0;
  // The running operation's progress: `label`, `value` of `maximum`; a
  // maximum of 0 ends it.
  virtual void ShowProgress(const std::string& label, int value, int maximum) = 0;
  // The traffic log could not be written: said after whatever the tooltip
  // explains already.
  virtual void NoteLogFailure(const std::string& reason) = 0;
  // The journal could not be kept (or is kept only locally): said once, in
  // sight but out of the way.
  virtual void NoteJournalProblem(const std::string& /*note*/) {}
  // The history window of protocol lines.
  virtual void AppendHistory(const std::string& line) = 0;
  virtual void ClearHistory() = 0;

  // Controls to form values (false when a text was refused), form values to
  // every control, or to the controls `ids`.
  virtual bool PullForm() = 0;
  virtual void PushForm() = 0;
  virtual void PushValues(const std::vector<int>& ids) = 0;
  // Disabled: every active control off. Enabled: as the form's rules say.
  virtual void SetFormEnabled(bool enabled) = 0;
  // An operation has started (true) or ended (false).
  virtual void ShowBusy(bool busy) = 0;

  // The fields that differ from the tracker, each with its tooltip; every
  // field not named loses its mark.
  virtual void MarkDifferences(const std::map<int, std::string>& /*marks*/) {}
  // The differing keys of a comparison, listed in a window of their own.
  virtual void ListDifferences(const std::vector<Difference>& /*differences*/) {}
  // The list of differences goes: the form no longer holds what was compared.
  virtual void CloseDifferences() {}

  // The port check comes due once, half a second after it is scheduled;
  // unscheduling drops a check that has not come due.
  virtual void SchedulePortCheck(bool scheduled) = 0;

  // Main Setting at start-up, over the ports found and the file at `path`:
  // shown, and on OK saved with the history window opened. Nothing when it
  // was not confirmed (the program ends).
  virtual std::optional<CMainSettings> OpenMainSettingAtStart(const std::vector<PortEntry>& ports,
                                                              const std::string& path) = 0;
  // Main Setting from the menu: the saved settings, or nothing on Cancel.
  virtual std::optional<CMainSettings> EditMainSetting() = 0;
  // The settings read again from MainSetting.ini (a failure is shown).
  virtual CMainSettings ReloadMainSetting() = 0;
};

}  // namespace kestrun
