// libFuzzer targets for the files a user hands the tool. KESTRUN_FUZZ_TARGET
// picks one: 0 the per-tracker table (read, checked, each row merged over a
// form), 1 a config file (read and saved again as the window does, which must
// give the same values; loaded and checked as write checks it before sending,
// with the --allow-caps corrections applied), 2 provision's check of
// a table against the fixed template KESTRUN_FUZZ_TEMPLATE. The loaders read
// files, so each input is written to a file of a private temporary folder.
#include <stdlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "batch/ConfigCheck.h"
#include "batch/FleetTable.h"
#include "protocol/Groups.h"
#include "settings/ConfigFile.h"
#include "settings/KeyCodec.h"
#if KESTRUN_FUZZ_TARGET == 2
#include "batch/ProvisionPlan.h"
#endif

namespace {

std::string folder;

void RemoveFolder() {
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
}

// The input as the file `name` of the private folder; its path.
std::string WriteInput(const char* name, const uint8_t* data, size_t size) {
  const std::string path = folder + "/" + name;
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) __builtin_trap();  // no file, no test: say so at once
  if (size && std::fwrite(data, 1, size, file) != size) __builtin_trap();
  if (std::fclose(file) != 0) __builtin_trap();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string pattern = (std::filesystem::temp_directory_path() / "kestrun-fuzz-XXXXXX").string();
  if (!mkdtemp(pattern.data())) __builtin_trap();
  folder = pattern;
  std::atexit(RemoveFolder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kestrun;
  using namespace kestrun::batch;
#if KESTRUN_FUZZ_TARGET == 0
  // Every settings section may hold columns; a port key is looked up among
  // no ports, so that the machine's own ports play no part.
  std::set<std::string> sections;
  for (const GroupInfo& info : AllGroups()) sections.insert(std::string("RV") + info.name);
  const DiscoveryPaths noPorts{folder + "/sys", folder + "/dev", folder + "/ports"};
  const std::string path = WriteInput("fleet.csv", data, size);
  FleetTable table;
  std::vector<std::string> problems;
  const bool read = LoadFleetTable(path, sections, table, problems, noPorts);
  if (read != problems.empty()) __builtin_trap();
  for (const FleetTable::Row& row : table.rows) {
    CFormValues values;
    MergeRow(row, values);
  }
  // A lookup runs through the rows: one is enough, many would make the target quadratic.
  if (table.keyKind == FleetTable::KeyKind::Imei && !table.rows.empty() &&
      FindRowByImei(table, table.rows.back().key) == nullptr)
    __builtin_trap();
#elif KESTRUN_FUZZ_TARGET == 1
  const std::string path = WriteInput("config.ini", data, size);
  // What the window loads, saved and loaded again, is what it loaded.
  CFormValues loaded;
  if (ReadConfigFile(CIniFile(path), loaded).file) {
    CIniFile saved(folder + "/saved.ini");
    std::remove(saved.path.c_str());
    CFormValues reloaded;
    if (!WriteConfigFile(saved, loaded, "1.0") || !ReadConfigFile(saved, reloaded).file) __builtin_trap();
    for (const ConfigKey& key : ConfigKeys())
      if (key.id && KeyText(key, loaded) != KeyText(key, reloaded)) __builtin_trap();
  }
  ConfigInput input;
  std::vector<Problem> problems;
  std::string error;
  if (!LoadConfigInput(path, input, problems, error)) {
    if (error.empty() && problems.empty()) __builtin_trap();  // refused without a reason
    for (const Problem& p : problems) Describe(p);
    return 0;
  }
  GroupSelection groups{};
  DiffSelection(input, std::nullopt, groups, error);
  if (!SendSelection(input, std::nullopt, groups, error)) return 0;
  problems = CheckForSend(input.values, groups, "5830");
  for (const Problem& p : problems) Describe(p);
  if (problems.empty() ||
      !std::all_of(problems.begin(), problems.end(), [](const Problem& p) { return p.cappable(); }))
    return 0;
  // --allow-caps sends the values as the window corrects them: those must pass.
  CFormValues corrected = input.values;
  ApplyCorrections(problems, corrected);
  for (const Problem& p : problems) CappedText(p);
  if (!CheckForSend(corrected, groups, "5830").empty()) __builtin_trap();
#else
  ProvisionRequest request;
  request.templatePath = KESTRUN_FUZZ_TEMPLATE;
  request.tablePath = WriteInput("fleet.csv", data, size);
  request.password = "5830";
  JobPlan plan;
  std::vector<std::string> problems;
  if (PrepareProvision(request, plan, problems) != problems.empty()) __builtin_trap();
#endif
  return 0;
}
