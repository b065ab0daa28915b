#include "batch/JobPlan.h"

#include <algorithm>
#include <filesystem>

#include "batch/ConfigCheck.h"
#include "port/Utf8Path.h"

namespace kestrun::batch {

namespace {

// Building lines touches no control and shows nothing.
class CNoOutput : public IFormOutput {
 public:
  void SetControlText(int, const std::string&) override {}
  void ShowResult(const std::string&, const std::string&, ResultIcon, bool, int) override {}
};

// The PIN and passwords the lines carry (no value holds a comma).
std::vector<std::string> SecretValues(const CFormValues& values) {
  std::vector<std::string> secrets;
  for (const ConfigKey& key : ConfigKeys())
    if (IsSecretKey(key) && !values.Text(key.id).empty()) secrets.push_back(values.Text(key.id));
  return secrets;
}

// "AT+RVSRI=5830,apn,user,secret,...,20261207120000" ->
// "AT+RVSRI=****,apn,user,****,...,<UTC>": the device password, every field
// that holds a PIN or password value, and the stamp.
std::string Masked(const std::string& line, const std::vector<std::string>& secrets) {
  const std::size_t eq = line.find('=');
  if (eq == std::string::npos) return line;
  std::string text = line.substr(0, eq + 1);
  std::size_t start = eq + 1;
  for (int field = 0;; ++field) {
    const std::size_t comma = line.find(',', start);
    const std::string value = line.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    const bool stamp = comma == std::string::npos && field > 0 && value.size() == 14 &&
                       value.find_first_not_of("0123456789") == std::string::npos;
    const bool secret =
        field == 0 || (!value.empty() && std::find(secrets.begin(), secrets.end(), value) != secrets.end());
    text += stamp ? "<UTC>" : secret ? "****" : value;
    if (comma == std::string::npos) return text;
    text += ',';
    start = comma + 1;
  }
}

}  // namespace

std::vector<std::string> LinesToSend(const JobPlan& plan) { return LinesToSend(plan, plan.values); }

std::vector<std::string> LinesToSend(const JobPlan& plan, const CFormValues& values) {
  CFormModel form;
  form.SetPassword(plan.connection.password);
  form.values = values;
  CNoOutput quiet;
  std::vector<std::string> lines;
  const std::vector<std::string> secrets = SecretValues(values);
  for (Group group : SendOrder()) {
    if (!plan.sendGroups[static_cast<int>(group)]) continue;
    for (const std::string& line : form.PrepareSend(group, quiet)) lines.push_back(Masked(line, secrets));
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
  const std::filesystem::path path = PathFromUtf8(file);
  const std::filesystem::path name = PathFromUtf8(Utf8OfPath(path.stem()) + "-" + tag + Utf8OfPath(path.extension()));
  return Utf8OfPath(path.has_parent_path() ? path.parent_path() / name : name);
}

}  // namespace kestrun::batch
