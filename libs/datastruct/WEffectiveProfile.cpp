#include "datastruct/WEffectiveProfile.h"

#include <algorithm>
#include <optional>
#include <unordered_set>

#include "datastruct/CheckSettingDefinitions.h"
#include "datastruct/CheckSettingTypes.h"
#include "datastruct/ProblemNames.h"

namespace {

const ustring kSev("sev");
const ustring kFix("fix");
const ustring kAll("all");
const ustring kChecks("checks");
const ustring kRestrictions("restrictions");

// The shared record that is an entry's first value, or null.
const std::shared_ptr<umessage>* record_of(const umessage::array_type* array) {
  const auto* records = array ? array->as<std::shared_ptr<umessage>>() : nullptr;
  return records && !records->values.empty() && records->values.front() ? &records->values.front() : nullptr;
}

const std::shared_ptr<umessage>* first_record(const umessage* message, const ustring& key) {
  return record_of(message ? message->find(key) : nullptr);
}

// The entry's record when it has entries (a setting that counts), or null.
const std::shared_ptr<umessage>* setting_of(const umessage::array_type* array) {
  const std::shared_ptr<umessage>* record = record_of(array);
  return record && !(*record)->empty() ? record : nullptr;
}

const std::shared_ptr<umessage>* setting_record(const umessage* checks, const ustring& name) {
  return setting_of(checks ? checks->find(name) : nullptr);
}

bool is_box_problem(const ustring& name) {
  using namespace problem_names;
  return name == kProblem_IncorrectBleedBox || name == kProblem_MissingBleedBox ||
         name == kProblem_IncorrectTrimBox || name == kProblem_MissingTrimBox || name == kProblem_MediaTooSmall ||
         name == kProblem_ArtBoxDetected;
}

bool is_first_only_problem(const ustring& name) {
  using namespace problem_names;
  return name == kProblem_InkWeightTAC || name == kProblem_ImageNotJPEGEncoded ||
         name == kProblem_ImageJPEGEncoded || name == kSetting_PrinterMarks;
}

const std::shared_ptr<const umessage>& fault_setting() {
  static const std::shared_ptr<const umessage> fault = [] {
    auto m = std::make_shared<umessage>();
    m->add(kSev, "fault");
    return std::shared_ptr<const umessage>(std::move(m));
  }();
  return fault;
}

// What the reduction needs to know about one problem name.
struct ProblemContext {
  const ustring& name;
  bool boxProblem;
  bool firstOnly;
  bool allApplies;  // the "all" fallback counts for this name
};

ProblemContext context_for(const ustring& name, const SettingCatalogue* catalogue) {
  const eSettingType type = catalogue ? catalogue->TypeOf(name.view()) : eSettingType_Undefined;
  return {name, is_box_problem(name), is_first_only_problem(name),
          type == eSettingType_Boolean || type == eSettingType_LimitsLow || type == eSettingType_LimitsHigh};
}

// The collection of one problem over a walk. own_at(i) gives the problem's
// own setting record in visit i, or null.
template <class OwnAt>
void collect_visits(const CheckGroupWalk& walk, const ProblemContext& problem, OwnAt&& own_at,
                    std::vector<WCheckSetting>& out) {
  const std::vector<CheckGroupVisit>& visits = walk.visits();
  for (std::size_t i = 0; i < visits.size(); ++i) {
    const CheckGroupVisit& visit = visits[i];
    if (visit.top && walk.hasDestinations()) {
      if (problem.boxProblem) out.emplace_back(fault_setting());
      if (problem.firstOnly && !out.empty()) continue;
    }
    if (const std::shared_ptr<umessage>* own = own_at(i)) {
      out.emplace_back(*own);
    } else if (problem.allApplies && visit.all != nullptr) {
      out.emplace_back(*visit.all);
    }
  }
}

void collect(const CheckGroupWalk& walk, const ProblemContext& problem, std::vector<WCheckSetting>& out) {
  collect_visits(
      walk, problem, [&](std::size_t i) { return setting_record(walk.visits()[i].checks, problem.name); }, out);
}

// One key of one visited group's "checks".
struct IndexEntry {
  const ustring* name;
  std::size_t visit;
  const std::shared_ptr<umessage>* record;  // null when it is no setting
};

// Every key of every visited group, grouped by name (byte order), each
// name's entries in visit order.
std::vector<IndexEntry> index_of(const CheckGroupWalk& walk) {
  std::vector<IndexEntry> entries;
  const std::vector<CheckGroupVisit>& visits = walk.visits();
  for (std::size_t i = 0; i < visits.size(); ++i) {
    if (visits[i].checks == nullptr) continue;
    for (const auto& [name, array] : *visits[i].checks) entries.push_back({&name, i, setting_of(&array)});
  }
  std::stable_sort(entries.begin(), entries.end(),
                   [](const IndexEntry& a, const IndexEntry& b) { return *a.name < *b.name; });
  return entries;
}

}  // namespace

// ---- walk ---------------------------------------------------------------------

CheckGroupWalk::CheckGroupWalk(const WTicket& profile) : hasDestinations_(profile.DestinationCount() > 0) {
  const std::size_t destinations = profile.DestinationCount();
  for (std::size_t i = 0; i < destinations; ++i) {
    const WDestination destination = profile.DestinationAt(i);
    if (destination.empty()) continue;
    const WCheckGroup group = destination.CheckGroup();
    if (!group.empty()) Walk(group.message().get(), false);
  }
  if (const WCheckGroup own = profile.TicketCheckGroup(); !own.empty()) Walk(own.message().get(), true);
}

CheckGroupWalk::CheckGroupWalk(const WCheckGroup& group, bool top, bool hasDestinations)
    : hasDestinations_(hasDestinations) {
  if (!group.empty()) Walk(group.message().get(), top);
}

void CheckGroupWalk::Walk(const umessage* root, bool top) {
  std::unordered_set<const umessage*> seen;
  // Depth first, each group after its restrictions; depth counts the
  // restriction levels below the root.
  const auto visit = [&](const auto& self, const umessage* group, int depth, bool isRoot) -> void {
    if (group == nullptr || group->empty() || !seen.insert(group).second) return;
    if (depth < kMaxRestrictionDepth) {
      if (const umessage::array_type* array = group->find(kRestrictions)) {
        if (const auto* restrictions = array->as<std::shared_ptr<umessage>>())
          for (const auto& restriction : restrictions->values) self(self, restriction.get(), depth + 1, false);
      }
    }
    const std::shared_ptr<umessage>* checks = first_record(group, kChecks);
    const umessage* checksRecord = checks ? checks->get() : nullptr;
    visits_.push_back({checksRecord, setting_record(checksRecord, kAll), top && isRoot});
  };
  visit(visit, root, 0, true);
}

std::vector<ustring> ProblemNames(const CheckGroupWalk& walk) {
  std::vector<ustring> names;
  for (const CheckGroupVisit& visit : walk.visits())
    if (visit.checks != nullptr)
      for (const auto& entry : *visit.checks) names.push_back(entry.name);
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

std::vector<ustring> WEffectiveProfileT::ProblemNames() const { return ::ProblemNames(CheckGroupWalk(*this)); }

// ---- collect ------------------------------------------------------------------

std::vector<WCheckSetting> Collect(const CheckGroupWalk& walk, const ustring& name,
                                   const SettingCatalogue* catalogue) {
  std::vector<WCheckSetting> out;
  collect(walk, context_for(name, catalogue), out);
  return out;
}

std::vector<WCheckSetting> Collect(const CheckGroupWalk& walk, const ustring& name) {
  return Collect(walk, name, SettingDefinitionCatalogue().get());
}

std::vector<WCheckSetting> Collect(const WEffectiveProfileT& profile, const ustring& name) {
  return Collect(CheckGroupWalk(profile), name);
}

void CollectGroup(const WCheckGroup& group, const ustring& name, bool top, bool hasDestinations,
                  std::vector<WCheckSetting>& out) {
  const std::shared_ptr<const SettingCatalogue> catalogue = SettingDefinitionCatalogue();
  collect(CheckGroupWalk(group, top, hasDestinations), context_for(name, catalogue.get()), out);
}

// ---- reduce -------------------------------------------------------------------

WCheckSetting EffectiveSetting(const std::vector<WCheckSetting>& collected, const ustring& name,
                               const SettingCatalogue* catalogue) {
  if (collected.empty()) {
    const BSettingDefinition* definition = catalogue ? catalogue->Find(name.view()) : nullptr;
    return definition ? WCheckSetting(definition->defaults) : WCheckSetting();
  }
  if (collected.size() == 1) return collected.front();
  if (catalogue == nullptr) return WCheckSetting();
  switch (catalogue->TypeOf(name.view())) {
    case eSettingType_Boolean:
      return MergeBoolean(collected);
    case eSettingType_LimitsLow:
      return MergeLimits(collected, eLimitMerge_LargerWins);
    case eSettingType_LimitsHigh:
      return MergeLimits(collected, eLimitMerge_SmallerWins);
    case eSettingType_Parameter:
    case eSettingType_StringParameter:
      for (const WCheckSetting& setting : collected)
        if (setting.Text(0) || setting.Text(1) || setting.Text(2)) return setting;
      return WCheckSetting();
    default:
      return WCheckSetting();
  }
}

WCheckSetting EffectiveSetting(const WEffectiveProfileT& profile, const ustring& name) {
  const std::shared_ptr<const SettingCatalogue> catalogue = SettingDefinitionCatalogue();
  std::vector<WCheckSetting> collected;
  collect(CheckGroupWalk(profile), context_for(name, catalogue.get()), collected);
  return EffectiveSetting(collected, name, catalogue.get());
}

void ForEachEffectiveSetting(const CheckGroupWalk& walk, const SettingCatalogue* catalogue,
                             const std::function<void(const ustring&, const WCheckSetting&)>& visit) {
  const std::vector<IndexEntry> entries = index_of(walk);
  std::vector<WCheckSetting> collected;
  for (std::size_t first = 0; first < entries.size();) {
    const ustring& name = *entries[first].name;
    std::size_t last = first;
    while (last < entries.size() && *entries[last].name == name) ++last;

    std::size_t cursor = first;
    const auto own_at = [&](std::size_t i) -> const std::shared_ptr<umessage>* {
      while (cursor < last && entries[cursor].visit < i) ++cursor;
      return cursor < last && entries[cursor].visit == i ? entries[cursor].record : nullptr;
    };
    collected.clear();
    collect_visits(walk, context_for(name, catalogue), own_at, collected);
    visit(name, EffectiveSetting(collected, name, catalogue));
    first = last;
  }
}

WCheckSetting MergeBoolean(const std::vector<WCheckSetting>& settings) {
  const WCheckSetting* best = nullptr;
  ustring bestSev;
  int bestRank = 0;
  bool anyFix = false;
  for (const WCheckSetting& candidate : settings) {
    ustring sev = candidate.SeverityText();
    if (const int rank = SeverityRank(sev.view()); rank > bestRank) {
      best = &candidate;
      bestRank = rank;
      bestSev = std::move(sev);
    }
    anyFix = anyFix || candidate.Fix();
  }
  if (best == nullptr) return WCheckSetting();
  if (anyFix && bestSev == "fault") bestSev = "warn";

  auto merged = std::make_shared<umessage>(*best->message());
  merged->set(kSev, std::move(bestSev));
  merged->erase(kFix);
  if (anyFix) merged->add(kFix, true);
  return WCheckSetting(std::move(merged));
}

WCheckSetting MergeLimits(const std::vector<WCheckSetting>& settings, eLimitMerge winner) {
  // Levels in the order they are looked at: slot of the limit, rank, word.
  static constexpr struct {
    int slot;
    int rank;
    const char* word;
  } kLevels[] = {{2, eProblemSeverity_Fault, "fault"}, {1, eProblemSeverity_Warn, "warn"}, {0, eProblemSeverity_Note, "note"}};

  std::optional<double> recorded[3];
  const WCheckSetting* best = nullptr;
  int bestRank = 0;
  const char* bestSev = "";
  bool anyFix = false;
  for (const WCheckSetting& candidate : settings) {
    for (int level = 0; level < 3; ++level) {
      const std::optional<double> v = candidate.Limit(kLevels[level].slot);
      if (!v) continue;
      std::optional<double>& kept = recorded[level];
      const bool wins = !kept || (winner == eLimitMerge_LargerWins ? *v > *kept : *v < *kept);
      if (!wins) continue;
      kept = v;
      if (kLevels[level].rank > bestRank) {
        bestRank = kLevels[level].rank;
        bestSev = kLevels[level].word;
        best = &candidate;
      }
    }
    anyFix = anyFix || candidate.Fix();
  }
  if (best == nullptr) return WCheckSetting();

  auto merged = std::make_shared<umessage>(*best->message());
  merged->set(kSev, bestSev);
  for (int level = 0; level < 3; ++level) {
    const ustring& key = WCheckSetting::LimitKey(kLevels[level].slot);
    merged->erase(key);
    if (recorded[level]) merged->add(key, *recorded[level]);
  }
  merged->erase(kFix);
  if (anyFix && bestSev != std::string_view("fault")) merged->add(kFix, true);
  return WCheckSetting(std::move(merged));
}
