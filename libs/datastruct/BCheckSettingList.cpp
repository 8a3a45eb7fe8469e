#include "datastruct/BCheckSettingList.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <utility>

#include "datastruct/CheckSettingDefinitions.h"
#include "datastruct/ProblemNames.h"
#include "datastruct/ProfilePathRule.h"
#include "datastruct/WCheckSetting.h"

namespace {

constexpr double kLowestPDFVersion = 1.3;
constexpr double kHighestPDFVersion = 1.7;
// Measured against these, the version limits of the two problems fire.
constexpr double kAnyVersionAbove = 999.9;
constexpr double kAnyVersionBelow = 0.0;

}  // namespace

BCheckSettingList::BCheckSettingList(BCheckSettingList&& other) noexcept
    : settings_(std::move(other.settings_)),
      sorted_(std::exchange(other.sorted_, 0)),
      fromDefaults_(std::move(other.fromDefaults_)) {
  other.settings_.clear();
}

BCheckSettingList& BCheckSettingList::operator=(BCheckSettingList&& other) noexcept {
  if (this != &other) {
    settings_ = std::move(other.settings_);
    sorted_ = std::exchange(other.sorted_, 0);
    fromDefaults_ = std::move(other.fromDefaults_);
    other.settings_.clear();
  }
  return *this;
}

BCheckSettingList::~BCheckSettingList() = default;

int BCheckSettingList::Compare(const ustring& a, const ustring& b) const { return a.compare(b); }

void BCheckSettingList::Clear() {
  settings_.clear();
  sorted_ = 0;
}

void BCheckSettingList::Add(std::unique_ptr<BCheckSetting> setting) {
  if (!setting) return;
  // Settings usually arrive in name order and simply go to the end. Any
  // other order is put right in one pass when the list is next looked at:
  // inserting each one in place costs a move of the whole tail per add.
  if (sorted_ == settings_.size() &&
      (settings_.empty() || Compare(settings_.back()->name(), setting->name()) < 0))
    ++sorted_;
  settings_.push_back(std::move(setting));
}

void BCheckSettingList::Sort() const {
  if (sorted_ == settings_.size()) return;
  const auto by_name = [this](const auto& a, const auto& b) { return Compare(a->name(), b->name()) < 0; };
  // The settings added since the list was last in order, newest first, so
  // that among equal names the one added last comes first; then merged
  // into the ordered part, ahead of its equal names.
  std::vector<std::unique_ptr<BCheckSetting>> added(std::make_move_iterator(settings_.begin() + sorted_),
                                                    std::make_move_iterator(settings_.end()));
  std::reverse(added.begin(), added.end());
  std::stable_sort(added.begin(), added.end(), by_name);
  std::vector<std::unique_ptr<BCheckSetting>> merged;
  merged.reserve(settings_.size());
  std::merge(std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()),
             std::make_move_iterator(settings_.begin()), std::make_move_iterator(settings_.begin() + sorted_),
             std::back_inserter(merged), by_name);
  settings_.swap(merged);
  sorted_ = settings_.size();
}

const BCheckSetting* BCheckSettingList::Find(const ustring& name) const {
  Sort();
  const auto at = std::lower_bound(settings_.begin(), settings_.end(), name,
                                   [this](const auto& s, const ustring& n) { return Compare(s->name(), n) < 0; });
  if (at != settings_.end() && Compare((*at)->name(), name) == 0) return at->get();

  for (const auto& made : fromDefaults_)
    if (made->name() == name) return made.get();

  if (name.empty()) return nullptr;
  const std::shared_ptr<const SettingCatalogue> catalogue = SettingDefinitionCatalogue();
  const BSettingDefinition* definition = catalogue ? catalogue->Find(name.view()) : nullptr;
  if (definition == nullptr || !definition->HasDefaults()) return nullptr;
  auto setting = std::make_shared<BCheckSetting>();
  if (!setting->DeserialiseSetting2(name, WCheckSetting(definition->defaults))) return nullptr;
  ApplyProfilePathRule(*setting);
  fromDefaults_.push_back(setting);
  return setting.get();
}

double BCheckSettingList::RequiredPDFVersion() const {
  using namespace problem_names;
  double version = 0.0;
  if (const BCheckSetting* pdf = Find(kSetting_PDFVersion); pdf != nullptr && !pdf->limitNotSet(0))
    version = pdf->limit(0);

  double limit = 0.0;
  if (const BCheckSetting* tooHigh = Find(kProblem_PDFVersionTooHigh);
      tooHigh != nullptr && tooHigh->SeverityFor(kAnyVersionAbove, &limit) >= eProblemSeverity_Warn)
    version = version == 0.0 ? limit : std::min(version, limit);
  if (const BCheckSetting* tooLow = Find(kProblem_PDFVersionTooLow);
      tooLow != nullptr && tooLow->SeverityFor(kAnyVersionBelow, &limit) >= eProblemSeverity_Warn)
    version = std::max(version, limit);

  if (std::isnan(version)) return 0.0;
  if (version != 0.0 && version < kLowestPDFVersion) return kLowestPDFVersion;
  if (version > kHighestPDFVersion) return kHighestPDFVersion;
  return version;
}
