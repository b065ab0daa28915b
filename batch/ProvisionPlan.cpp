#include "batch/ProvisionPlan.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <set>

#include "batch/ConfigCheck.h"
#include "port/Utf8Path.h"
#include "protocol/Identity.h"

namespace kestrun::batch {

bool PrepareProvision(const ProvisionRequest& request, JobPlan& plan, std::vector<std::string>& problems) {
  const std::size_t before = problems.size();
  plan.command = Command::Provision;
  plan.file = request.templatePath;
  plan.identify = true;
  auto setup = std::make_shared<ProvisionSetup>();
  setup->tableName = Utf8OfPath(PathFromUtf8(request.tablePath).filename());
  setup->assign = request.assign;
  setup->skipDone = request.skipDone;
  setup->dryRun = request.dryRun;
  setup->allowCaps = request.allowCaps;
  setup->imeis = request.imeis;
  for (const std::string& imei : request.imeis)
    if (!IsValidImei(imei))
      problems.push_back("--imei " + imei + " is no valid IMEI (15 digits, Luhn check digit)");

  ConfigInput input;
  std::vector<Problem> templateProblems;
  std::string error;
  if (!LoadConfigInput(request.templatePath, input, templateProblems, error)) {
    if (!error.empty()) problems.push_back(error);
    for (const Problem& p : templateProblems) problems.push_back(request.templatePath + ": " + Describe(p));
    return false;
  }
  plan.values = input.values;
  const std::optional<GroupSelection> only =
      request.groupsGiven ? std::optional<GroupSelection>(request.groups) : std::nullopt;
  if (!SendSelection(input, only, plan.sendGroups, error)) {
    problems.push_back(request.templatePath + ": " + error);
    return false;
  }
  std::set<std::string> sections;
  for (const GroupInfo& info : AllGroups())
    if (plan.sendGroups[static_cast<int>(info.group)]) sections.insert(std::string("RV") + info.name);
  const std::size_t tableStart = problems.size();
  const bool read = LoadFleetTable(request.tablePath, sections, setup->table, problems, {}, request.stop);
  if (!read && request.stop && *request.stop) return false;
  // A group the template holds but does not send (no fence or keypad row
  // ticked) is said once, so that a refused column is understood.
  for (const Group group : {Group::Geo, Group::Kpn}) {
    const int g = static_cast<int>(group);
    const std::string tag = std::string("([RV") + Info(group).name + "])";
    const bool refused =
        std::any_of(problems.begin() + static_cast<std::ptrdiff_t>(tableStart), problems.end(),
                    [&](const std::string& p) { return p.find(tag) != std::string::npos; });
    if (refused && input.sections[g] && (!only || (*only)[g]) && !plan.sendGroups[g])
      problems.push_back(request.templatePath + ": " +
                         (group == Group::Geo ? "no fence is ticked (ID_1 to ID_4 are all 0)"
                                              : "no keypad row is ticked (Key0 to Key4 are all 0)") +
                         ", so it sends no RV" + Info(group).name + " line");
  }

  const FleetTable& table = setup->table;
  if (request.assign && table.keyKind != FleetTable::KeyKind::None)
    problems.push_back(
        request.tablePath +
        ": --assign deals the rows of a table without a key column, but this one is keyed by " +
        (table.keyKind == FleetTable::KeyKind::Imei ? "IMEI" : "COM"));
  if (!request.assign && table.keyKind == FleetTable::KeyKind::None && !table.columns.empty())
    problems.push_back(request.tablePath +
                       ": the table has no IMEI or COM column; --assign deals its rows out in order");

  // Every row merged over the template must pass the form's rules as write checks them.
  // A template value no row sets is named once, as the template's. The rules
  // hold group by group, so each row is checked only in the groups its cells
  // are in, and the template once in the groups some row leaves to it (a
  // table of a thousand rows is checked at once).
  std::vector<std::pair<std::string, int>> prefixes;  // "RVPIN/" and its group, built once
  for (const GroupInfo& info : AllGroups())
    prefixes.emplace_back(std::string("RV") + info.name + "/", static_cast<int>(info.group));
  auto groupsOf = [&plan, &prefixes](const FleetTable::Row& row) {
    GroupSelection groups{};
    for (const auto& [prefix, g] : prefixes)
      for (const auto& cell : row.values)
        if (cell.first.compare(0, prefix.size(), prefix) == 0) groups[g] = plan.sendGroups[g];
    return groups;
  };
  GroupSelection leftToTemplate{};
  for (const FleetTable::Row& row : table.rows) {
    const GroupSelection groups = groupsOf(row);
    for (std::size_t g = 0; g < groups.size(); ++g) leftToTemplate[g] = leftToTemplate[g] || !groups[g];
  }
  if (table.rows.empty()) leftToTemplate.fill(true);
  for (std::size_t g = 0; g < leftToTemplate.size(); ++g)
    leftToTemplate[g] = leftToTemplate[g] && plan.sendGroups[g];
  std::set<std::string> templateSaid;
  for (const Problem& p : CheckForSend(plan.values, leftToTemplate, request.password))
    if (!(request.allowCaps && p.cappable()) && templateSaid.insert(Describe(p)).second)
      problems.push_back(request.templatePath + ": " + Describe(p));
  TextCheckCache cache;  // the template's values recur in every row
  CFormValues merged;    // assigned for every row, which reuses its maps' nodes
  for (const FleetTable::Row& row : table.rows) {
    if (StoppedReading(request.stop, request.tablePath, problems)) return false;
    const GroupSelection rowGroups = groupsOf(row);
    if (std::none_of(rowGroups.begin(), rowGroups.end(), [](bool sent) { return sent; })) continue;
    merged = plan.values;
    MergeRow(row, merged);
    for (const Problem& p : CheckForSend(merged, rowGroups, request.password, &cache)) {
      if (request.allowCaps && p.cappable()) continue;
      const std::string column = p.section + "/" + p.key;
      const bool fromRow = std::any_of(row.values.begin(), row.values.end(),
                                       [&](const auto& cell) { return cell.first == column; });
      // A cell the table's own check refused is named once.
      if (fromRow && std::find(row.refused.begin(), row.refused.end(), column) != row.refused.end()) continue;
      if (fromRow)
        problems.push_back(request.tablePath + ":" + std::to_string(row.line) + ": " + column + ": " +
                           Describe(p));
      else if (templateSaid.insert(Describe(p)).second)
        problems.push_back(request.templatePath + ": " + Describe(p));
    }
  }
  plan.provision = setup;
  return problems.size() == before;
}

}  // namespace kestrun::batch
