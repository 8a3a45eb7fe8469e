#include "datastruct/CheckSettingDefinitions.h"

#include <algorithm>
#include <mutex>

namespace {

struct DefinitionState {
  std::mutex mutex;
  std::shared_ptr<const umessage> installed = std::make_shared<const umessage>();
  // The first non-empty message: what the catalogue is built from.
  std::shared_ptr<const umessage> source;
  std::shared_ptr<const SettingCatalogue> catalogue;
};

DefinitionState& state() {
  static DefinitionState s;
  return s;
}

}  // namespace

SettingCatalogue::SettingCatalogue(const umessage& definitions) {
  entries_.reserve(definitions.size());
  // Entries come in name order, so the vector is sorted as it is filled.
  for (const auto& [name, array] : definitions) {
    const auto* records = array.as<std::shared_ptr<umessage>>();
    if (records == nullptr || records->values.empty() || !records->values.front()) continue;
    const umessage& record = *records->values.front();
    BSettingDefinition definition;
    definition.type = ParseDefinitionType(record.value<ustring>("type").view());
    definition.userUnits = record.value<bool>("userUnits");
    std::shared_ptr<umessage> defaults;
    if (record.get("defaults", 0, defaults) && defaults) definition.defaults = std::move(defaults);
    entries_.emplace_back(name, std::move(definition));
  }
}

const BSettingDefinition* SettingCatalogue::Find(std::string_view name) const {
  const auto it = std::lower_bound(entries_.begin(), entries_.end(), name,
                                   [](const auto& entry, std::string_view key) { return entry.first.view() < key; });
  return it != entries_.end() && it->first.view() == name ? &it->second : nullptr;
}

eSettingType SettingCatalogue::TypeOf(std::string_view name) const {
  const BSettingDefinition* definition = Find(name);
  return definition ? definition->type : eSettingType_Undefined;
}

void InstallSettingDefinitions(umessage definitions) {
  auto message = std::make_shared<const umessage>(std::move(definitions));
  DefinitionState& s = state();
  std::lock_guard lock(s.mutex);
  if (!s.source && !message->empty()) s.source = message;
  s.installed = std::move(message);
}

std::shared_ptr<const umessage> SettingDefinitions() {
  DefinitionState& s = state();
  std::lock_guard lock(s.mutex);
  return s.installed;
}

std::shared_ptr<const SettingCatalogue> SettingDefinitionCatalogue() {
  DefinitionState& s = state();
  std::lock_guard lock(s.mutex);
  if (!s.catalogue && s.source) s.catalogue = std::make_shared<const SettingCatalogue>(*s.source);
  return s.catalogue;
}

void ResetSettingDefinitionsForTesting() {
  DefinitionState& s = state();
  std::lock_guard lock(s.mutex);
  s.installed = std::make_shared<const umessage>();
  s.source.reset();
  s.catalogue.reset();
}
