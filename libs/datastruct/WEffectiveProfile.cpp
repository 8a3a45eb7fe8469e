#include "datastruct/WEffectiveProfile.h"

#include <algorithm>
#include <cmath>
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


// ---- merge summaries ------------------------------------------------------------
//
// MergeBoolean and MergeLimits depend on their settings only through a
// summary that can be combined from the summaries of two consecutive runs
// of settings: the first setting of the gravest severity (or level), the
// winning numbers and whether any setting has "fix". The one-name-at-a-time
// merges fold the summaries of their settings; the pass over all names
// combines precomputed summaries of whole runs of "all" fallbacks, so that
// a fallback repeated by many restrictions is not merged once per name.

// The three levels of a limit setting in the order they are looked at:
// slot of the limit, rank, word.
struct LimitLevel {
  int slot;
  int rank;
  const char* word;
};
constexpr LimitLevel kLevels[] = {
    {2, eProblemSeverity_Fault, "fault"}, {1, eProblemSeverity_Warn, "warn"}, {0, eProblemSeverity_Note, "note"}};

// What one level of a run of settings amounts to. Within a run the first
// number stays unless a later one wins strictly; a first number that is not
// a number (NaN) is never beaten.
struct LevelSummary {
  const WCheckSetting* first = nullptr;  // the first setting with a number here
  double firstValue = 0;
  bool hasNumber = false;  // some value that is not NaN
  double largest = 0;      // the first of the largest such values
  double smallest = 0;     // the first of the smallest
};

struct MergeSummary {
  // Boolean: the first setting of the gravest known severity.
  const WCheckSetting* best = nullptr;
  int bestRank = 0;
  bool anyFix = false;
  LevelSummary levels[3];
};

MergeSummary summary_of(const WCheckSetting& setting) {
  MergeSummary s;
  if (const int rank = SeverityRank(setting.SeverityText().view()); rank > 0) {
    s.best = &setting;
    s.bestRank = rank;
  }
  s.anyFix = setting.Fix();
  for (int level = 0; level < 3; ++level) {
    const std::optional<double> v = setting.Limit(kLevels[level].slot);
    if (!v) continue;
    LevelSummary& l = s.levels[level];
    l.first = &setting;
    l.firstValue = *v;
    if (!std::isnan(*v)) {
      l.hasNumber = true;
      l.largest = l.smallest = *v;
    }
  }
  return s;
}

// The summary of run a followed by run b.
MergeSummary combine(const MergeSummary& a, const MergeSummary& b) {
  MergeSummary s;
  const bool later = b.bestRank > a.bestRank;
  s.best = later ? b.best : a.best;
  s.bestRank = later ? b.bestRank : a.bestRank;
  s.anyFix = a.anyFix || b.anyFix;
  for (int level = 0; level < 3; ++level) {
    const LevelSummary& x = a.levels[level];
    const LevelSummary& y = b.levels[level];
    LevelSummary& l = s.levels[level];
    l = x.first ? x : y;
    if (x.first && y.hasNumber) {
      if (!x.hasNumber) {
        l.hasNumber = true;
        l.largest = y.largest;
        l.smallest = y.smallest;
      } else {
        if (y.largest > x.largest) l.largest = y.largest;
        if (y.smallest < x.smallest) l.smallest = y.smallest;
      }
    }
  }
  return s;
}

WCheckSetting finish_boolean(const MergeSummary& s) {
  if (s.best == nullptr) return WCheckSetting();
  ustring bestSev = s.best->SeverityText();
  if (s.anyFix && bestSev == "fault") bestSev = "warn";
  auto merged = std::make_shared<umessage>(*s.best->message());
  merged->set(kSev, std::move(bestSev));
  merged->erase(kFix);
  if (s.anyFix) merged->add(kFix, true);
  return WCheckSetting(std::move(merged));
}

WCheckSetting finish_limits(const MergeSummary& s, eLimitMerge winner) {
  // The gravest level with a value; its first setting is the one copied.
  int top = 0;
  while (top < 3 && s.levels[top].first == nullptr) ++top;
  if (top == 3) return WCheckSetting();
  const char* bestSev = kLevels[top].word;
  auto merged = std::make_shared<umessage>(*s.levels[top].first->message());
  merged->set(kSev, bestSev);
  for (int level = 0; level < 3; ++level) {
    const LevelSummary& l = s.levels[level];
    const ustring& key = WCheckSetting::LimitKey(kLevels[level].slot);
    merged->erase(key);
    if (l.first == nullptr) continue;
    // A first value that is no number is never beaten; else the winner.
    const double value = std::isnan(l.firstValue) ? l.firstValue
                         : winner == eLimitMerge_LargerWins ? l.largest
                                                            : l.smallest;
    merged->add(key, value);
  }
  merged->erase(kFix);
  if (s.anyFix && top != 0) merged->add(kFix, true);
  return WCheckSetting(std::move(merged));
}

MergeSummary fold(const std::vector<WCheckSetting>& settings) {
  MergeSummary s;
  for (const WCheckSetting& setting : settings) s = combine(s, summary_of(setting));
  return s;
}

// The "all" fallbacks of a walk's visits, for the pass over all names: their
// count before each visit, the next visit that has one, and (built on first
// need) a tree of merge summaries over runs of visits.
class FallbackIndex {
 public:
  explicit FallbackIndex(const std::vector<CheckGroupVisit>& visits) : visits_(visits) {
    const std::size_t n = visits.size();
    countBefore_.resize(n + 1, 0);
    next_.resize(n + 1, n);
    for (std::size_t i = 0; i < n; ++i) countBefore_[i + 1] = countBefore_[i] + (visits[i].all != nullptr ? 1 : 0);
    for (std::size_t i = n; i-- > 0;) next_[i] = visits[i].all != nullptr ? i : next_[i + 1];
  }

  // Fallbacks of the visits [from, to).
  std::size_t Count(std::size_t from, std::size_t to) const { return countBefore_[to] - countBefore_[from]; }
  // The first visit at or after `from` that has a fallback.
  std::size_t Next(std::size_t from) const { return next_[from]; }

  // The summary of the fallbacks of the visits [from, to), in visit order.
  MergeSummary Summary(std::size_t from, std::size_t to) {
    Build();
    MergeSummary left, right;
    for (std::size_t l = from + size_, r = to + size_; l < r; l >>= 1, r >>= 1) {
      if (l & 1) left = combine(left, tree_[l++]);
      if (r & 1) right = combine(tree_[--r], right);
    }
    return combine(left, right);
  }

 private:
  void Build() {
    if (!tree_.empty() || visits_.empty()) return;
    size_ = visits_.size();
    settings_.reserve(size_);
    for (const CheckGroupVisit& visit : visits_)
      settings_.emplace_back(visit.all != nullptr ? WCheckSetting(*visit.all) : WCheckSetting());
    tree_.resize(2 * size_);
    for (std::size_t i = 0; i < size_; ++i)
      if (visits_[i].all != nullptr) tree_[size_ + i] = summary_of(settings_[i]);
    for (std::size_t i = size_; i-- > 1;) tree_[i] = combine(tree_[2 * i], tree_[2 * i + 1]);
  }

  const std::vector<CheckGroupVisit>& visits_;
  std::vector<std::size_t> countBefore_;
  std::vector<std::size_t> next_;
  std::size_t size_ = 0;
  std::vector<WCheckSetting> settings_;  // by visit; the tree points into it
  std::vector<MergeSummary> tree_;
};
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
  // For each name, the settings Collect would gather are the name's own
  // settings, the fault setting of the ticket's own group and, where the
  // name has no setting of its own and the fallback counts, the visits'
  // "all" fallbacks. The own settings are few; the fallbacks between them
  // come as runs of visits whose count and merge summary FallbackIndex
  // gives at once. Only runs are summarised; a name without them is reduced
  // from its gathered settings as EffectiveSetting does it.
  const std::vector<IndexEntry> entries = index_of(walk);
  const std::vector<CheckGroupVisit>& visits = walk.visits();
  FallbackIndex fallbacks(visits);
  std::vector<std::size_t> tops;  // where the fault setting may enter
  if (walk.hasDestinations())
    for (std::size_t i = 0; i < visits.size(); ++i)
      if (visits[i].top) tops.push_back(i);

  std::vector<WCheckSetting> singles;  // own settings, fault settings, lone fallbacks
  struct Piece {
    bool run;
    std::size_t first, last;  // a run of visits [first, last), or singles[first]
  };
  std::vector<Piece> pieces;
  for (std::size_t first = 0; first < entries.size();) {
    const ustring& name = *entries[first].name;
    std::size_t last = first;
    while (last < entries.size() && *entries[last].name == name) ++last;
    const ProblemContext problem = context_for(name, catalogue);

    singles.clear();
    pieces.clear();
    std::size_t count = 0;
    bool anyRun = false;
    const auto single = [&](WCheckSetting setting) {
      pieces.push_back({false, singles.size(), 0});
      singles.push_back(std::move(setting));
      ++count;
    };
    const auto run = [&](std::size_t from, std::size_t to) {
      if (!problem.allApplies || from >= to) return;
      const std::size_t n = fallbacks.Count(from, to);
      if (n == 0) return;
      pieces.push_back({true, from, to});
      count += n;
      anyRun = true;
    };
    // The visits where something other than a run happens, in order: the
    // name's own settings and the ticket's own group.
    std::size_t cursor = 0;
    std::size_t e = first;
    std::size_t t = 0;
    while (true) {
      while (e < last && entries[e].record == nullptr) ++e;
      const std::size_t own = e < last ? entries[e].visit : visits.size();
      const std::size_t nextTop = t < tops.size() ? tops[t] : visits.size();
      const std::size_t at = std::min(own, nextTop);
      if (at >= visits.size()) break;
      run(cursor, at);
      cursor = at + 1;
      if (at == nextTop) {
        ++t;
        if (problem.boxProblem) single(WCheckSetting(fault_setting()));
        if (problem.firstOnly && count > 0) {
          if (own == at) ++e;
          continue;
        }
      }
      if (own == at) {
        single(WCheckSetting(*entries[e].record));
        ++e;
      } else if (problem.allApplies && visits[at].all != nullptr) {
        single(WCheckSetting(*visits[at].all));
      }
    }
    run(cursor, visits.size());

    if (!anyRun) {
      visit(name, EffectiveSetting(singles, name, catalogue));
    } else if (count == 1) {
      // The one setting is the fallback of the run.
      visit(name, WCheckSetting(*visits[fallbacks.Next(pieces.front().first)].all));
    } else {
      MergeSummary summary;
      for (const Piece& piece : pieces)
        summary = combine(summary, piece.run ? fallbacks.Summary(piece.first, piece.last)
                                             : summary_of(singles[piece.first]));
      // A fallback counts only for boolean and limit problems.
      const eSettingType type = catalogue->TypeOf(name.view());
      visit(name, type == eSettingType_Boolean ? finish_boolean(summary)
                  : type == eSettingType_LimitsLow
                      ? finish_limits(summary, eLimitMerge_LargerWins)
                      : finish_limits(summary, eLimitMerge_SmallerWins));
    }
    first = last;
  }
}

WCheckSetting MergeBoolean(const std::vector<WCheckSetting>& settings) { return finish_boolean(fold(settings)); }

WCheckSetting MergeLimits(const std::vector<WCheckSetting>& settings, eLimitMerge winner) {
  return finish_limits(fold(settings), winner);
}
