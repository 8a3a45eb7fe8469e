#include "datastruct/BCheckSettingList.h"

#include <algorithm>
#include <cmath>

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

BCheckSettingList::~BCheckSettingList() = default;

int BCheckSettingList::Compare(const ustring& a, const ustring& b) const { return a.compare(b); }

void BCheckSettingList::Clear() { settings_.clear(); }

void BCheckSettingList::Add(std::unique_ptr<BCheckSetting> setting) {
  if (!setting) return;
  // Settings usually arrive in name order: try the end first.
  if (settings_.empty() || Compare(settings_.back()->name(), setting->name()) < 0) {
    settings_.push_back(std::move(setting));
    return;
  }
  const auto at = std::lower_bound(settings_.begin(), settings_.end(), setting->name(),
                                   [this](const auto& s, const ustring& name) { return Compare(s->name(), name) < 0; });
  settings_.insert(at, std::move(setting));
}

const BCheckSetting* BCheckSettingList::Find(const ustring& name) const {
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
