// The window controller without a widget: a recording view stands in for the
// screen, and a relay hands the engine's events to the test thread, which
// plays the window thread. The simulated tracker answers on a
// pseudo-terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "../support/SimSupport.h"
#include "journal/Journal.h"
#include "protocol/ControlIds.h"
#include "window/PortsInUse.h"
#include "window/WindowController.h"

using namespace kestrun;
using namespace kestrun::testing;
using namespace ctl;

namespace {

// The screen as plain records. Touched on the test thread only.
class CRecordingView : public IWindowView {
 public:
  void ShowResult(const std::string&, const std::string& message, ResultIcon, bool, int) override {
    popups.push_back(message);
  }
  void SetControlText(int id, const std::string& text) override { controlTexts[id] = text; }
  void SetStatus(const std::string& text) override {
    status = text;
    tooltip.clear();
  }
  void ExplainStatus(const std::string& detail) override { tooltip = detail; }
  void ShowHint(const std::string& text) override { hint = text; }
  void ShowPopup(const PopupRequest& popup) override {
    popups.push_back(popup.message);
    popupHints.push_back(popup.hint);
  }
  void ShowProgress(const std::string& label, int value, int maximum) override {
    progress.push_back(label + " (" + std::to_string(value) + "/" + std::to_string(maximum) + ")");
  }
  void NoteLogFailure(const std::string& reason) override { tooltip += "\n" + reason; }
  void AppendHistory(const std::string& line) override { history.push_back(line); }
  void ClearHistory() override { history.clear(); }
  bool PullForm() override { return true; }
  void PushForm() override {}
  void PushValues(const std::vector<int>& ids) override {
    pushed.insert(pushed.end(), ids.begin(), ids.end());
  }
  void SetFormEnabled(bool on) override { enabled = on; }
  void ShowBusy(bool busy) override { busyChanges.push_back(busy); }
  void SchedulePortCheck(bool on) override { checkScheduled = on; }
  std::optional<CMainSettings> OpenMainSettingAtStart(const std::vector<PortEntry>& ports,
                                                      const std::string& path) override {
    portsOffered = ports;
    settingsPath = path;
    return confirm ? std::optional(settings) : std::nullopt;
  }
  std::optional<CMainSettings> EditMainSetting() override {
    return confirm ? std::optional(settings) : std::nullopt;
  }
  CMainSettings ReloadMainSetting() override { return settings; }
  void MarkDifferences(const std::map<int, std::string>& shown) override { marks = shown; }
  void ListDifferences(const std::vector<Difference>& listed) override {
    differences = listed;
    listOpen = true;
  }
  void CloseDifferences() override {
    differences.clear();
    listOpen = false;
  }
  void NoteJournalProblem(const std::string& note) override { journalNotes.push_back(note); }

  CMainSettings settings;  // what Main Setting holds
  bool confirm = true;     // whether Main Setting is confirmed
  std::vector<PortEntry> portsOffered;
  std::string settingsPath;
  std::vector<std::string> popups, popupHints, history, progress, journalNotes;
  std::map<int, std::string> controlTexts;
  std::vector<int> pushed;
  std::vector<bool> busyChanges;
  std::map<int, std::string> marks;
  std::vector<Difference> differences;
  std::string status, tooltip, hint;
  bool enabled = false;
  bool checkScheduled = false;
  bool listOpen = false;  // the list of differences is on the screen
};

// Hands each event from the worker to the test thread, which applies it in
// PumpUntil; the worker waits until it has been applied, as with the window.
class CTestThreadRelay : public IEventRelay {
 public:
  explicit CTestThreadRelay(IEngineEvents& target) : target_(target) {}
  void Detach() override {
    std::lock_guard<std::mutex> lock(mutex_);
    detached_ = true;
    queue_.clear();
    changed_.notify_all();
  }
  // Applies handed-over events until `done` holds; false when none came for
  // two minutes.
  bool PumpUntil(const std::function<bool()>& done) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!done()) {
      if (!changed_.wait_for(lock, std::chrono::minutes(2), [&] { return !queue_.empty(); })) return false;
      auto apply = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      apply(target_);
      lock.lock();
      ++applied_;
      changed_.notify_all();
    }
    return true;
  }

 protected:
  void Deliver(std::function<void(IEngineEvents&)> apply) override {
    std::unique_lock<std::mutex> lock(mutex_);
    if (detached_) return;
    queue_.push_back(std::move(apply));
    const long ticket = ++queued_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return applied_ >= ticket || detached_; });
  }

 private:
  IEngineEvents& target_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void(IEngineEvents&)>> queue_;
  long queued_ = 0;
  long applied_ = 0;
  bool detached_ = false;
};

class WindowControllerTest : public SimulatorTest {
 protected:
  WindowControllerTest() : SimulatorTest(41) {}
  void SetUp() override {
    SimulatorTest::SetUp();
    // The journal of Read All and Send All goes to the test's own folder.
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    ::unsetenv("RV450_JOURNAL");
    view.settings.password = "5830";
    view.settings.comIndex = 0;
    view.settings.baudIndex = 1;
    view.settings.pacing = CPacing::Fast();  // not about timing
    controller.SetDiscovery(Discovery());
    controller.SetStartDirectory(dir.path());
  }
  // Waits until the operation started last has ended.
  void PumpOperation() {
    ASSERT_TRUE(relay->PumpUntil([&] { return !controller.IsBusy(); }));
  }

  CRecordingView view;
  CTestThreadRelay* relay = nullptr;  // the form's operations' (made first; the terminal's next)
  CWindowController controller{view, [this](IEngineEvents& windowSide) {
                                 auto made = std::make_unique<CTestThreadRelay>(windowSide);
                                 if (!relay) relay = made.get();
                                 return made;
                               }};
};

}  // namespace

TEST_F(WindowControllerTest, StartOffersThePortsAndSchedulesTheCheckOnlyWhenConfirmed) {
  view.confirm = false;
  EXPECT_FALSE(controller.Start());
  EXPECT_FALSE(view.checkScheduled);
  ASSERT_EQ(view.portsOffered.size(), 1u);
  EXPECT_EQ(view.portsOffered[0].number, ComNumber());
  EXPECT_EQ(view.settingsPath, dir / "MainSetting.ini");

  view.confirm = true;
  EXPECT_TRUE(controller.Start());
  EXPECT_TRUE(view.checkScheduled);
}

TEST_F(WindowControllerTest, PortCheckSaysWhetherTheChosenPortOpens) {
  struct Case {
    const char* name;
    int comIndex;
    int baudIndex;
    std::string status;
    bool opens;
  };
  const Case cases[] = {
      {"chosen port", 0, 1, "Init COM:41 Baudrate:115200 Success .", true},
      {"no port behind the index", 3, 0, "Init COM:0 Baudrate:57600 Fail !", false},
  };
  ASSERT_TRUE(controller.Start());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    view.history = {"AT+RVPIN=1"};
    view.settings.comIndex = c.comIndex;
    view.settings.baudIndex = c.baudIndex;
    view.settings.password = c.name;
    controller.CheckPort();
    EXPECT_FALSE(view.checkScheduled);
    EXPECT_TRUE(view.history.empty());
    EXPECT_EQ(view.status, c.status);
    EXPECT_EQ(view.enabled, c.opens);
    EXPECT_EQ(view.tooltip.empty(), c.opens);
    EXPECT_TRUE(controller.model().liveUpdate);
    EXPECT_EQ(controller.model().pin.password, c.name);
    EXPECT_TRUE(PortIsFree());
  }
}

// What the controller adds to an operation's events (the engine's own texts
// are DriverTest's): busy on and off, the form enabled again, the port
// closed, a read group's values put into the form and onto the screen, and
// the identity's popup.
TEST_F(WindowControllerTest, OperationsReportTheirEndAndReenableTheForm) {
  struct Case {
    const char* name;
    std::function<void(CWindowController&)> start;
    std::string status;
    std::string popup;
  };
  const Case cases[] = {
      {"read of one group", [](CWindowController& c) { c.ReadGroup(Group::Sri); },
       "Read AT Command Success .", "Read Setting Success ."},
      {"identify", [](CWindowController& c) { c.Identify(); },
       "Identify Tracker Success . IMEI: " + sim::SimImei(ComNumber()),
       "IMEI: " + sim::SimImei(ComNumber()) + "\nICCID: " + sim::SimIccid(ComNumber()) +
           "\nFirmware: [Revision:1418B05SIM900M32] [SubEdition:KESTRUN_SIM_2.25]\nSignal: -71 dBm (rssi "
           "21)"},
  };
  ASSERT_TRUE(controller.Start());
  controller.CheckPort();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    view.busyChanges.clear();
    c.start(controller);
    EXPECT_TRUE(controller.IsBusy());
    PumpOperation();
    EXPECT_EQ(view.busyChanges, (std::vector<bool>{true, false}));
    EXPECT_EQ(view.status, c.status);
    ASSERT_FALSE(view.popups.empty());
    EXPECT_EQ(view.popups.back(), c.popup);
    EXPECT_TRUE(view.enabled);
    EXPECT_TRUE(PortIsFree());
  }
  // The read put the tracker's values into the form and onto the screen.
  EXPECT_EQ(controller.model().values.Text(Apn), "internet");
  EXPECT_NE(std::find(view.pushed.begin(), view.pushed.end(), Apn), view.pushed.end());
}

TEST_F(WindowControllerTest, AValueThatBreaksItsRuleStopsTheSendBeforeThePort) {
  ASSERT_TRUE(controller.Start());
  controller.model().values.Number(TriEnable) = 1;
  controller.model().values.Text(SendInterval) = "abc";
  for (const bool all : {false, true}) {
    view.popups.clear();
    if (all)
      controller.SendAll();
    else
      controller.SendGroup(Group::Tri);
    EXPECT_FALSE(controller.IsBusy());
    ASSERT_EQ(view.popups.size(), 1u);
    EXPECT_NE(view.popups[0].find("Send Interval"), std::string::npos) << view.popups[0];
  }
  EXPECT_TRUE(sim_->ReceivedLines().empty());
}

TEST_F(WindowControllerTest, APortAnotherWindowUsesIsRefusedWithItsHolder) {
  ASSERT_TRUE(controller.Start());
  controller.CheckPort();
  ASSERT_TRUE(CPortsInUse::Process().Claim(ComNumber(), "Provisioning window"));
  const std::string reason = "COM41 is busy: the Provisioning window is using it";
  controller.CheckPort();
  EXPECT_EQ(view.status, reason);
  EXPECT_TRUE(view.enabled);
  const std::function<void()> commands[] = {[&] { controller.ReadAll(); },
                                            [&] { controller.SendAll(); },
                                            [&] { controller.ReadGroup(Group::Sri); },
                                            [&] { controller.Identify(); },
                                            [&] { controller.CompareWithTracker(); },
                                            [&] { EXPECT_FALSE(controller.StartTerminal({})); }};
  for (const auto& command : commands) {
    view.status.clear();
    command();
    EXPECT_FALSE(controller.IsBusy());
    EXPECT_EQ(view.status, reason);
  }
  CPortsInUse::Process().Release(ComNumber(), "Provisioning window");
  EXPECT_TRUE(sim_->ReceivedLines().empty());
  controller.Identify();
  EXPECT_TRUE(controller.IsBusy());
  PumpOperation();
}

TEST_F(WindowControllerTest, PortCheckDueDuringAnOperationRunsAfterIt) {
  ASSERT_TRUE(controller.Start());
  controller.CheckPort();
  controller.ReadGroup(Group::Sri);
  ASSERT_TRUE(controller.IsBusy());
  view.status = "before";
  controller.CheckPort();
  EXPECT_EQ(view.status, "before");
  EXPECT_FALSE(view.checkScheduled);
  PumpOperation();
  EXPECT_TRUE(view.checkScheduled);
}

TEST_F(WindowControllerTest, ProgressShowsTheWakeUpAndEachGroupThenEnds) {
  ASSERT_TRUE(controller.Start());
  controller.CheckPort();
  controller.ReadAll();
  PumpOperation();
  ASSERT_EQ(view.status, "Read AT Command Success .");
  std::vector<std::string> groups;
  for (const std::string& step : view.progress)
    if (step.rfind("Group ", 0) == 0) groups.push_back(step);
  const std::string count = std::to_string(ReadOrder().size());
  ASSERT_EQ(groups.size(), ReadOrder().size());
  EXPECT_EQ(groups.front().rfind("Group 1 of " + count + ": RV", 0), 0u) << groups.front();
  EXPECT_NE(groups.back().find(" (" + count + "/" + count + ")"), std::string::npos) << groups.back();
  EXPECT_EQ(view.progress.front(), "Waking the tracker: 1 of 30 (1/30)");
  EXPECT_EQ(view.progress.back(), " (0/0)");  // the operation's end hides it
}

// The hint reaches the popup and the status bar from what the engine found.
TEST_F(WindowControllerTest, AWrongPasswordGivesItsHintUnderTheUnchangedPopup) {
  ASSERT_TRUE(controller.Start());
  view.settings.password = "1111";  // the tracker takes 5830
  controller.CheckPort();
  controller.SendGroup(Group::Sri);
  PumpOperation();
  EXPECT_EQ(view.status, "Send AT+RVSRI Fail !");
  ASSERT_FALSE(view.popups.empty());
  EXPECT_EQ(view.popups.back(), "No Right Response !");
  EXPECT_EQ(view.popupHints.back(), HintText(Cause::WrongPassword, ComNumber()));
  EXPECT_EQ(view.hint, HintText(Cause::WrongPassword, ComNumber()));
}

// A form loaded with the tracker's values but two fields changed (the config
// file's round trip is ConfigFileTest's): the comparison's Read says the same
// on the wire as Read All, leaves the form alone, and marks exactly those two
// fields until they are edited, a file is loaded or the tracker is read again.
TEST_F(WindowControllerTest, CompareMarksExactlyTheFieldsAFileChanged) {
  ASSERT_TRUE(controller.Start());
  controller.CheckPort();
  sim_->ClearReceived();
  controller.ReadAll();
  PumpOperation();
  const std::vector<std::string> readAllLines = sim_->ReceivedLines();
  const std::string trackerApn = controller.model().values.Text(Apn);
  const Octets trackerIp = controller.model().values.Address(SriIp);
  controller.model().values.Text(Apn) = trackerApn + "x";
  controller.model().values.Address(SriIp)[3] = (trackerIp[3] + 1) % 256;
  controller.FormLoaded();

  sim_->ClearReceived();
  const std::size_t popupsBefore = view.popups.size();
  controller.CompareWithTracker();
  PumpOperation();
  EXPECT_EQ(sim_->ReceivedLines(), readAllLines);
  EXPECT_EQ(view.popups.size(), popupsBefore);
  EXPECT_EQ(controller.model().values.Text(Apn), trackerApn + "x");
  EXPECT_EQ(view.status, "2 Fields Differ");
  const std::string ip = std::to_string(trackerIp[0]) + "." + std::to_string(trackerIp[1]) + "." +
                         std::to_string(trackerIp[2]) + "." + std::to_string(trackerIp[3]);
  EXPECT_EQ(view.marks,
            (std::map<int, std::string>{{Apn, "tracker: " + trackerApn}, {SriIp, "tracker: " + ip}}));
  ASSERT_EQ(view.differences.size(), 2u);
  EXPECT_EQ(view.differences[0].key, "APN");
  EXPECT_EQ(view.differences[1].key, "IP4");

  controller.FieldEdited(Apn);
  EXPECT_EQ(view.marks, (std::map<int, std::string>{{SriIp, "tracker: " + ip}}));

  // A load and a Read All take the comparison off the screen: marks, list and
  // its status ("No Difference" too); a status it did not set stays.
  enum Act { Load, Compare, ReadAll };
  const struct {
    Act act;
    const char* status;
    std::size_t marks;  // and differences listed
    bool listed;
  } steps[] = {{Load, "", 0, false},
               {Compare, "2 Fields Differ", 2, true},
               {ReadAll, "Read AT Command Success .", 0, false},
               {Load, "Read AT Command Success .", 0, false},
               {Compare, "No Difference", 0, true},
               {Load, "", 0, false}};
  for (const auto& step : steps) {
    SCOPED_TRACE(&step - steps);
    if (step.act == Load) controller.FormLoaded();
    if (step.act == Compare) controller.CompareWithTracker();
    if (step.act == ReadAll) controller.ReadAll();
    PumpOperation();
    EXPECT_EQ(view.status, step.status);
    EXPECT_EQ(view.marks.size(), step.marks);
    EXPECT_EQ(view.differences.size(), step.marks);
    EXPECT_EQ(view.listOpen, step.listed);
  }
}

// Each Read All and Send All leaves one row; the tracker is named by the
// IMEI of the last Identify on the port, and before one by firmware and port.
TEST_F(WindowControllerTest, ReadAllAndSendAllJournalTheTrackerByTheLastIdentify) {
  struct Case {
    const char* name;
    bool identifyFirst;
    std::function<void(CWindowController&)> start;
    const char* command;
  };
  const Case cases[] = {
      {"read all", false, [](CWindowController& c) { c.ReadAll(); }, "read"},
      {"send all", false, [](CWindowController& c) { c.SendAll(); }, "write"},
      {"read all after an identify", true, [](CWindowController& c) { c.ReadAll(); }, "read"},
      {"send all after an identify", true, [](CWindowController& c) { c.SendAll(); }, "write"},
  };
  ASSERT_TRUE(controller.Start());
  controller.CheckPort();
  controller.model().values.Number(Info(Group::Sri).enableBox) = 1;  // what Send All sends
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.identifyFirst) {
      controller.Identify();
      PumpOperation();
    }
    c.start(controller);
    PumpOperation();
    EXPECT_NE(view.status.find("Success"), std::string::npos) << view.status;
  }
  EXPECT_TRUE(view.journalNotes.empty());

  journal::CJournal db;
  std::string error;
  ASSERT_TRUE(db.Open(journal::CJournal::DefaultPath(), error)) << error;
  EXPECT_EQ(journal::CJournal::DefaultPath(), dir / "data/rv450-kestrun/journal.sqlite");
  std::vector<journal::JournalRow> rows;
  ASSERT_TRUE(db.Rows({}, rows, error)) << error;
  ASSERT_EQ(rows.size(), std::size(cases));
  std::reverse(rows.begin(), rows.end());  // oldest first, as the cases ran
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Case& c = cases[i];
    const journal::JournalRow& row = rows[i];
    SCOPED_TRACE(c.name);
    EXPECT_EQ(row.program, "rv450-kestrun");
    EXPECT_EQ(row.command, c.command);
    EXPECT_EQ(row.outcome, "ok");
    EXPECT_EQ(row.imei, c.identifyFirst ? sim::SimImei(ComNumber()) : "");
    EXPECT_EQ(row.port, "COM" + std::to_string(ComNumber()));
    EXPECT_EQ(row.device, view.portsOffered.at(0).devicePath);
    EXPECT_EQ(row.firmware, controller.firmwareVersion());
    EXPECT_EQ(row.groups, std::string(c.command) == "write" ? "RVSRI" : "");
    EXPECT_EQ(row.settingsHash.empty(), row.groups.empty());
  }
  EXPECT_FALSE(controller.firmwareVersion().empty());
}

// A journal that cannot be opened changes nothing about the operations and is
// said once.
TEST_F(WindowControllerTest, AJournalThatCannotBeOpenedIsSaidOnceAndStopsNothing) {
  ::setenv("RV450_JOURNAL", dir.path().c_str(), 1);  // a folder is no database
  ASSERT_TRUE(controller.Start());
  controller.CheckPort();
  for (int i = 0; i < 2; ++i) {
    controller.ReadAll();
    PumpOperation();
    EXPECT_EQ(view.status, "Read AT Command Success .");
  }
  ASSERT_EQ(view.journalNotes.size(), 1u);
  EXPECT_EQ(view.journalNotes[0].rfind("The journal could not be opened: ", 0), 0u) << view.journalNotes[0];
}

// Save Config File suggests "<IMEI>.ini" while the form holds what a Read All
// read from a tracker whose IMEI an Identify on that port gave, in either
// order; not before, and not once the form holds something else.
TEST_F(WindowControllerTest, SaveSuggestsTheImeiOfTheTrackerTheFormWasReadFrom) {
  enum Act { ReadAll, Identify, ReadGroup, Load };
  const std::string named = sim::SimImei(ComNumber()) + ".ini";
  const struct {
    const char* what;
    Act act;
    const char* fault;  // a line the tracker refuses from this step on
    std::string suggested;
  } steps[] = {
      {"a read all, no IMEI known yet", ReadAll, "", ""},
      {"then an identify", Identify, "", named},
      {"a group read from the same port", ReadGroup, "", named},
      {"a config file loaded", Load, "", ""},
      {"a read all after the identify", ReadAll, "", named},
      {"a read all that fails halfway", ReadAll, "AT+RVTRI?", ""},
      {"a read all again", ReadAll, "", named},
      {"an identify that gets no IMEI", Identify, "AT+CGSN", ""},
  };
  ASSERT_TRUE(controller.Start());
  controller.CheckPort();
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    sim_->ClearFaults();
    if (*step.fault) sim_->SetFault(step.fault, sim::Fault::Error);
    if (step.act == ReadAll) controller.ReadAll();
    if (step.act == Identify) controller.Identify();
    if (step.act == ReadGroup) controller.ReadGroup(Group::Sri);
    if (step.act == Load) controller.FormLoaded();
    PumpOperation();
    EXPECT_EQ(controller.SuggestedConfigFileName(), step.suggested);
  }
}
