#include "batch/ConfigCheck.h"

#include <algorithm>
#include <cerrno>

#include "batch/Compare.h"
#include "port/ComPort.h"
#include "port/SystemError.h"
#include "protocol/ControlChars.h"
#include "protocol/ControlIds.h"
#include "protocol/FormModel.h"
#include "protocol/TextList.h"
#include "protocol/ValueRules.h"

namespace kestrun::batch {

namespace {

// Collects what a refresh or range check reports instead of showing it.
class CRecorder : public IFormOutput {
 public:
  void ShowResult(const std::string&, const std::string& message, ResultIcon iconKind, bool, int) override {
    if (iconKind == kIconFailure) messages.push_back(message);
  }
  void SetControlText(int, const std::string&) override {}
  std::vector<std::string> messages;
};

// Characters as the form's edit fields count them (UTF-8 sequences count once).
std::size_t CountChars(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(
      text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// Number of items in the list (or radio group) behind an index value.
int ListSize(int id) {
  const FormField* field = FindFormField(id);
  return field ? field->listSize : 0;
}

Group GroupOf(const ConfigKey& key) {
  Group group = Group::Rto;
  GroupOfSection(key.section, group);
  return group;
}

// A model as a fresh one starts. Checks copy it into a model they keep per
// thread instead of building one: the copy reuses the maps' nodes, a new
// model allocates every one of them again (for every value of a big table).
const CFormModel& Pristine() {
  static const CFormModel pristine;
  return pristine;
}

void CheckText(const ConfigKey& key, const std::string& value, std::vector<Problem>& problems) {
  const Binding* binding = FindBinding(key.id);
  Problem problem{key.section, key.key, value, KeyTextProblem(key, value), "", "", IsSecretKey(key)};
  if (problem.why.empty()) {
    std::vector<std::string> messages;
    std::string corrected = value;
    // The range check the window runs when the field changes.
    thread_local CFormModel scratch;
    if (FindRangeRule(key.id)) {
      scratch = Pristine();
      CRecorder recorder;
      scratch.values.Text(key.id) = corrected;
      scratch.CheckFieldRange(key.id, recorder);
      messages = recorder.messages;
      corrected = scratch.values.Text(key.id);
    }
    // The length caps of the group's refresh, on this value alone; what goes
    // into the line is read back out of the record.
    {
      scratch = Pristine();
      CRecorder recorder;
      const Group group = GroupOf(key);
      scratch.values.Text(key.id) = corrected;
      scratch.RefreshGroup(group, recorder);
      if (!recorder.messages.empty()) {
        messages.insert(messages.end(), recorder.messages.begin(), recorder.messages.end());
        scratch.ApplyReplyToForm(group);
        corrected = scratch.values.Text(key.id);
      }
    }
    const std::size_t limit = binding ? static_cast<std::size_t>(binding->limit) : 0;
    const std::string overLimit = "is " + std::to_string(CountChars(value)) +
                                  " characters, over its input limit of " + std::to_string(limit);
    const auto broken = binding ? CheckValueRule(*binding, corrected) : std::nullopt;
    if (broken) {
      // Not a value the window would correct: it would not send it at all.
      problem.why = "must be " + *broken;
    } else if (limit && CountChars(corrected) > limit) {
      problem.why = overLimit;
    } else if (!messages.empty()) {
      problem.capMessage = JoinedWith(messages, "; ");
      problem.corrected = corrected;
      problem.why = (limit && CountChars(value) > limit ? overLimit + "; the" : "the") +
                    std::string(" window would correct it: ") + problem.capMessage;
    }
  }
  if (!problem.why.empty()) problems.push_back(problem);
}

bool SectionSelection(const ConfigInput& input, const std::optional<GroupSelection>& only, const char* verb,
                      GroupSelection& selection, std::string& error) {
  selection = input.sections;
  selection[static_cast<int>(Group::Rto)] = false;
  if (only) {
    for (int g = 0; g < kGroupCount; ++g) {
      if (!(*only)[g]) {
        selection[g] = false;
      } else if (!input.sections[g]) {
        error = input.path + " holds no [RV" + std::string(AllGroups()[g].name) + "] section to " + verb;
        return false;
      }
    }
  }
  if (std::none_of(selection.begin(), selection.end(), [](bool b) { return b; })) {
    error = input.path + " holds no settings group to " + verb;
    return false;
  }
  return true;
}

}  // namespace

bool IsSecretKey(const ConfigKey& key) {
  const FormField* field = FindFormField(key.id);
  std::string name = key.key;
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
  return (field && field->rule == ValueRule::Pin) || name.find("password") != std::string::npos;
}

std::string Describe(const Problem& problem) {
  std::string text = "[" + problem.section + "]";
  if (problem.secret) return text + " " + problem.key + " = " + kSecretNotShown + ": " + problem.why;
  // A value with control bytes is not echoed: they would act on the terminal.
  if (HasControlBytes(problem.value)) return text + " " + problem.key + " " + problem.why;
  if (!problem.key.empty()) text += " " + problem.key + " = " + QuotedValue(problem.value);
  return text + ": " + problem.why;
}

std::string CappedText(const Problem& problem) {
  return "[" + problem.section + "] " + problem.key + ": " + problem.capMessage + " -> " +
         (problem.secret ? std::string(kSecretNotShown) : "'" + problem.corrected + "'");
}

const ConfigKey* FindConfigKey(const std::string& section, const std::string& key) {
  for (const ConfigKey& k : ConfigKeys())
    if (section == k.section && key == k.key) return &k;
  return nullptr;
}

bool LoadConfigInput(const std::string& path, ConfigInput& input, std::vector<Problem>& problems,
                     std::string& error) {
  input = ConfigInput();
  input.path = path;
  std::string bytes;
  bool exists = false;
  if (const FileResult read = ReadSettingsFile(path, bytes, exists); !read) {
    error = read.Message();
    return false;
  }
  if (!exists) {
    error = path + ": " + SystemReason(ENOENT);
    return false;
  }
  const CIniText text = CIniText::Parse(bytes);
  if (HoldsBinaryOutsideValues(bytes, text)) {
    error = path + ": " + kBinaryFileReason;
    return false;
  }
  bool anyKey = false;
  for (const ConfigKey& key : ConfigKeys()) {
    std::string raw;
    if (!text.Find(key.section, key.key, raw)) continue;
    anyKey = true;
    Group group;
    if (GroupOfSection(key.section, group)) input.sections[static_cast<int>(group)] = true;
    if (std::string why = KeyTextProblem(key, raw); !why.empty())
      problems.push_back({key.section, key.key, raw, std::move(why), "", ""});
  }
  if (!anyKey) {
    error = path +
            ": not a config file (none of the keys of RVSRI, RVBEI, RVTRI, RVGEO, RVRTO, RVBAC, RVKPN, "
            "RVWLT, RVPIN or INFO)";
    return false;
  }
  // A value with a control byte is refused whole, never loaded without it.
  if (!problems.empty()) return false;
  if (const ConfigLoad load = ReadConfigFile(CIniFile(path), input.values); !load.file) {
    error = load.file.Message();
    return false;
  }
  return problems.empty();
}

bool SendSelection(const ConfigInput& input, const std::optional<GroupSelection>& only,
                   GroupSelection& selection, std::string& error) {
  using namespace ctl;
  if (!SectionSelection(input, only, "send", selection, error)) return false;
  auto anyTicked = [&](const int* boxes, int count) {
    return std::any_of(boxes, boxes + count, [&](int id) { return input.values.Number(id) != 0; });
  };
  const int geo = static_cast<int>(Group::Geo), kpn = static_cast<int>(Group::Kpn);
  if (selection[geo] && !anyTicked(FenceBox, 4)) {
    if (only && (*only)[geo]) {
      error = input.path + ": no fence is ticked (ID_1 to ID_4 are all 0), so there is no RVGEO line to send";
      return false;
    }
    selection[geo] = false;
  }
  if (selection[kpn] && !anyTicked(KeyBox, 5)) {
    if (only && (*only)[kpn]) {
      error = input.path +
              ": no keypad row is ticked (Key0 to Key4 are all 0), so there is no RVKPN line to send";
      return false;
    }
    selection[kpn] = false;
  }
  if (std::none_of(selection.begin(), selection.end(), [](bool b) { return b; })) {
    error = input.path + " holds no settings group to send";
    return false;
  }
  return true;
}

bool DiffSelection(const ConfigInput& input, const std::optional<GroupSelection>& only,
                   GroupSelection& selection, std::string& error) {
  return SectionSelection(input, only, "compare", selection, error);
}

std::vector<Problem> CheckForSend(const CFormValues& values, const GroupSelection& selection,
                                  const std::string& password, TextCheckCache* cache) {
  using namespace ctl;
  std::vector<Problem> problems;
  std::vector<const ConfigKey*> keys = SentKeys(values, selection);
  if (selection[static_cast<int>(Group::Wlt)]) {
    keys.push_back(FindConfigKey("RVWLT", "MobileStart"));
    keys.push_back(FindConfigKey("RVWLT", "MobileEnd"));
  }
  for (const ConfigKey* key : keys) {
    switch (key->encoding) {
      case Encoding::Text: {
        if (!cache) {
          CheckText(*key, values.Text(key->id), problems);
          break;
        }
        const auto [at, added] = cache->outcomes.try_emplace({key->id, values.Text(key->id)});
        if (added) {
          std::vector<Problem> found;
          CheckText(*key, values.Text(key->id), found);
          if (!found.empty()) at->second = found.front();
        }
        if (at->second) problems.push_back(*at->second);
        break;
      }
      case Encoding::Index: {
        const int value = values.Number(key->id), size = ListSize(key->id);
        if (value < 0 || value >= size)
          problems.push_back({key->section, key->key, std::to_string(value),
                              "is not a position in its list (0 to " + std::to_string(size - 1) + ")", "",
                              ""});
        break;
      }
      default: break;  // flags load as 0 or 1, octets were checked on loading
    }
  }
  if (!problems.empty()) {
    // Line checks need values that pass; unless every problem has a correction, stop here.
    if (!std::all_of(problems.begin(), problems.end(), [](const Problem& p) { return p.cappable(); }))
      return problems;
  }

  thread_local CFormModel model;
  model = Pristine();
  model.values = values;
  ApplyCorrections(problems, model.values);
  model.SetPassword(password);
  if (selection[static_cast<int>(Group::Wlt)] &&
      model.values.Number(MobileStart) > model.values.Number(MobileEnd)) {
    problems.push_back({"RVWLT", "MobileStart", std::to_string(model.values.Number(MobileStart)),
                        "is after MobileEnd (" + std::to_string(model.values.Number(MobileEnd)) +
                            "), so no RVWLT line can be built",
                        "", ""});
    return problems;
  }
  CRecorder recorder;
  for (Group group : SendOrder()) {
    if (!selection[static_cast<int>(group)]) continue;
    for (const std::string& line : model.PrepareSend(group, recorder)) {
      if (line.size() <= CComPort::kMaxLine) continue;
      problems.push_back({std::string("RV") + Info(group).name, "", "",
                          "its line would be " + std::to_string(line.size()) + " characters, more than the " +
                              std::to_string(CComPort::kMaxLine) +
                              " a line may have (a shorter password or " + "shorter values make it fit)",
                          "", ""});
    }
  }
  return problems;
}

void ApplyCorrections(const std::vector<Problem>& problems, CFormValues& values) {
  for (const Problem& problem : problems) {
    if (!problem.cappable()) continue;
    if (const ConfigKey* key = FindConfigKey(problem.section, problem.key))
      values.Text(key->id) = problem.corrected;
  }
}

}  // namespace kestrun::batch
