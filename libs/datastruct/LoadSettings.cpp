#include "datastruct/LoadSettings.h"

#include <vector>

#include "datastruct/BCheckSettingList.h"
#include "datastruct/CheckSettingDefinitions.h"
#include "datastruct/JobLimits.h"
#include "datastruct/ProfilePathRule.h"
#include "datastruct/WEffectiveProfile.h"
#include "utils/umessage.h"

namespace {

bool full(const BCheckSettingList& list) { return list.size() > job_limits::kMaxCheckSettings; }

void load_old_form(BCheckSettingList& list, const umessage::array_type& records) {
  for (const auto& record : records.as<std::shared_ptr<umessage>>()->values) {
    if (full(list)) return;
    if (!record || record->value<ustring>("problem").empty()) continue;
    auto setting = std::make_unique<BCheckSetting>();
    setting->DeserialiseSetting(*record);
    list.Add(std::move(setting));
  }
}

void load_ticket(BCheckSettingList& list, const std::shared_ptr<const umessage>& ticket) {
  const WEffectiveProfileT profile(ticket);
  const CheckGroupWalk walk(profile);
  const std::shared_ptr<const SettingCatalogue> catalogue = SettingDefinitionCatalogue();
  ForEachEffectiveSetting(walk, catalogue.get(), [&](const ustring& name, const WCheckSetting& effective) {
    if (name.empty() || effective.empty() || full(list)) return;
    auto setting = std::make_unique<BCheckSetting>();
    if (!setting->DeserialiseSetting2(name, effective)) return;
    ApplyProfilePathRule(*setting);
    list.Add(std::move(setting));
  });
}

}  // namespace

void LoadSettings(BCheckSettingList& list, const std::shared_ptr<const umessage>& settings) {
  list.Clear();
  if (!settings) return;
  const umessage::array_type* records = settings->find("settings");
  if (records != nullptr && records->type() == umessage::type_message) {
    load_old_form(list, *records);
    return;
  }
  load_ticket(list, settings);
}

void LoadSettings(BCheckSettingList& list, const umessage& settings) {
  // The views hold shared pointers; this one borrows the caller's record
  // for the duration of the call.
  LoadSettings(list, std::shared_ptr<const umessage>(std::shared_ptr<const umessage>(), &settings));
}
