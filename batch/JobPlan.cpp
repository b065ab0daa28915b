#include "batch/JobPlan.h"

#include <filesystem>

namespace kestrun::batch {

namespace {

// Building lines touches no control and shows nothing.
class CNoOutput : public IFormOutput {
 public:
  void SetControlText(int, const std::string&) override {}
  void ShowResult(const std::string&, const std::string&, ResultIcon, bool, int) override {}
};

// "AT+RVSRI=5830,...,20261207120000" -> "AT+RVSRI=****,...,<UTC>".
std::string Masked(const std::string& line) {
  std::string text = line;
  const std::size_t last = text.rfind(',');
  if (last != std::string::npos && text.size() - last - 1 == 14 &&
      text.find_first_not_of("0123456789", last + 1) == std::string::npos)
    text.replace(last + 1, std::string::npos, "<UTC>");
  const std::size_t eq = text.find('=');
  if (eq != std::string::npos) {
    const std::size_t comma = text.find(',', eq);
    text.replace(eq + 1, (comma == std::string::npos ? text.size() : comma) - eq - 1, "****");
  }
  return text;
}

}  // namespace

std::vector<std::string> LinesToSend(const JobPlan& plan) { return LinesToSend(plan, plan.values); }

std::vector<std::string> LinesToSend(const JobPlan& plan, const CFormValues& values) {
  CFormModel form;
  form.SetPassword(plan.connection.password);
  form.values = values;
  CNoOutput quiet;
  std::vector<std::string> lines;
  for (Group group : SendOrder()) {
    if (!plan.sendGroups[static_cast<int>(group)]) continue;
    for (const std::string& line : form.PrepareSend(group, quiet)) lines.push_back(Masked(line));
  }
  return lines;
}

std::vector<std::string> GroupNamesOf(const GroupSelection& selection, const std::vector<Group>& order) {
  std::vector<std::string> names;
  for (Group group : order)
    if (selection[static_cast<int>(group)]) names.push_back(std::string("RV") + Info(group).name);
  return names;
}

std::string OutputFileWithTag(const std::string& file, const std::string& tag) {
  const std::filesystem::path path(file);
  const std::string name = path.stem().string() + "-" + tag + path.extension().string();
  return (path.has_parent_path() ? path.parent_path() / name : std::filesystem::path(name)).string();
}

}  // namespace kestrun::batch
