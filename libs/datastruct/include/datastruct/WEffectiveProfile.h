// The effective profile: a ticket seen as a source of check settings, and
// the reduction of the settings it holds for one problem (one per
// destination, per nested restriction, plus the ticket's own) to one.
//
// Group walk
//   The reduction visits check groups in this order: for each destination in
//   order whose check group ("zts") is not empty, that group; then the
//   ticket's own group when it is not empty. A group is visited after its
//   restrictions (depth first, in order), so a group's own setting comes
//   after those of its restrictions.
//   Bounds, because tickets come from another process: restrictions nested
//   deeper than kMaxRestrictionDepth below a destination's or the ticket's
//   group are ignored, and within one such group every record is visited at
//   most once (a record reachable twice, or a cycle, which a decoded ticket
//   cannot hold but a hand-built one could, is not walked again).
//   A CheckGroupWalk borrows from the ticket: keep the ticket alive while the
//   walk is used.
//
// Collect (walk, name N) gathers, in visiting order, per group:
//   - for the ticket's own group, when the ticket has destinations: first a
//     setting {"sev": "fault"} when N is IncorrectBleedBox, MissingBleedBox,
//     IncorrectTrimBox, MissingTrimBox, MediaTooSmall or ArtBoxDetected; and
//     for InkWeightTAC, ImageNotJPEGEncoded, ImageJPEGEncoded and
//     Setting_PrinterMarks nothing more when something was gathered before;
//   - the group's "checks"[N] when it is not empty, else its "checks"["all"]
//     when that is not empty and the definitions give N the type Boolean,
//     LimitsLow or LimitsHigh.
//
// EffectiveSetting (profile, N): nothing gathered: the definition's
// "defaults" (empty without catalogue or defaults); one setting: that one;
// more: merged by N's definition type: Boolean MergeBoolean, LimitsLow
// MergeLimits (larger wins), LimitsHigh MergeLimits (smaller wins),
// Parameter and StringParameter the first setting with a "P" text at index
// 0..2; any other type, or no catalogue: empty.
//
// Merged settings are new records; the ticket is never changed.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "datastruct/WCheckSetting.h"
#include "datastruct/WTicket.h"
#include "utils/umessage.h"
#include "utils/ustring.h"

class SettingCatalogue;

// A ticket read as a profile; adds operations, no data.
class WEffectiveProfileT : public WTicket {
 public:
  using WTicket::WTicket;

  // Every key of every visited group's "checks" ("all" included), in byte
  // order without duplicates.
  std::vector<ustring> ProblemNames() const;
};

inline constexpr int kMaxRestrictionDepth = 64;

// One visited group: its "checks" record (null when it has none), its
// non-empty "checks"["all"] setting (null when none), and whether it is the
// ticket's own group.
struct CheckGroupVisit {
  const umessage* checks;
  const std::shared_ptr<umessage>* all;
  bool top;
};

class CheckGroupWalk {
 public:
  explicit CheckGroupWalk(const WTicket& profile);
  // The walk of one group alone (for CollectGroup).
  CheckGroupWalk(const WCheckGroup& group, bool top, bool hasDestinations);

  const std::vector<CheckGroupVisit>& visits() const { return visits_; }
  bool hasDestinations() const { return hasDestinations_; }

 private:
  void Walk(const umessage* group, bool top);

  std::vector<CheckGroupVisit> visits_;
  bool hasDestinations_ = false;
};

std::vector<ustring> ProblemNames(const CheckGroupWalk& walk);

std::vector<WCheckSetting> Collect(const CheckGroupWalk& walk, const ustring& name);
// The same with a catalogue snapshot (null: no definitions).
std::vector<WCheckSetting> Collect(const CheckGroupWalk& walk, const ustring& name,
                                   const SettingCatalogue* catalogue);
std::vector<WCheckSetting> Collect(const WEffectiveProfileT& profile, const ustring& name);
// Appends to `out` what one group (with its restrictions) contributes.
void CollectGroup(const WCheckGroup& group, const ustring& name, bool top, bool hasDestinations,
                  std::vector<WCheckSetting>& out);

WCheckSetting EffectiveSetting(const WEffectiveProfileT& profile, const ustring& name);
// EffectiveSetting for every problem name of the walk at once, in byte
// order of the names: calls visit(name, setting) for each (the setting may be
// empty). Gives the same results as ProblemNames and EffectiveSetting name by
// name, but looks every setting up once instead of once per name and group,
// and merges the "all" fallbacks of runs of groups from summaries made once
// for the walk: a ticket naming N problems over V groups costs about
// (N + settings) x log V, not N x V.
void ForEachEffectiveSetting(const CheckGroupWalk& walk, const SettingCatalogue* catalogue,
                             const std::function<void(const ustring&, const WCheckSetting&)>& visit);
// The reduction of gathered settings, as EffectiveSetting does it; catalogue
// may be null (no definitions).
WCheckSetting EffectiveSetting(const std::vector<WCheckSetting>& collected, const ustring& name,
                               const SettingCatalogue* catalogue);

// The gravest stated "sev" wins (ignore < note < warn < fault; other words
// rank below ignore, the first setting wins a tie); a "fault" drops to
// "warn" when any setting has "fix" true. The result is a copy of the
// winner with that "sev" and with "fix" true when any setting had it (no
// "fix" otherwise). Empty when no setting states a known severity.
WCheckSetting MergeBoolean(const std::vector<WCheckSetting>& settings);

enum eLimitMerge { eLimitMerge_LargerWins, eLimitMerge_SmallerWins };

// Per level (fault, warn, note) the winning number over all settings; "sev"
// is the gravest level that has a number, and the copy is made of the first
// setting that supplied that level. Every level holds its winning number
// (levels without any are removed); "fix" true is kept only when some
// setting had it and the result is not "fault". Empty when no setting has a
// number at any level.
WCheckSetting MergeLimits(const std::vector<WCheckSetting>& settings, eLimitMerge winner);
