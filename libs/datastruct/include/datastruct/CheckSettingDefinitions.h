// The setting definitions: the process-wide message that Veloxa sends as
// field "Dp" of every job payload, and the catalogue built from it.
//
// The definitions message maps a problem name to a nested definition record:
//   "type"      text     "boolean", "limitsLow", "limitsHigh", "parameter",
//                        "stringParameter", "combiningParameterLow" (else 0)
//   "defaults"  message  the default setting, in the new setting form
//   "userUnits" boolean  limits are lengths in the user's display unit
// Keys whose first value is not a record define nothing.
//
// Lifecycle
//   InstallSettingDefinitions stores each "Dp" message (an empty one too: the
//   stored message is always the last one received). The first NON-EMPTY
//   message installed in the life of the process becomes the source of the
//   catalogue; the catalogue itself is built from that message on first use
//   and never changes afterwards, whatever later messages say. Until a
//   non-empty message has arrived there is no catalogue, and every reader of
//   definitions treats them as absent.
//
// Concurrency
//   The system installs and reads definitions on the host's main thread.
//   The state is nevertheless guarded by a mutex, and readers receive an
//   immutable catalogue by shared pointer, so a snapshot taken by a caller
//   stays valid even if tests reset the state meanwhile.
//
// For the job file
//   ReadJob: read field "Dp" with read_message (absent: an empty message)
//   and pass it to InstallSettingDefinitions. Nothing of this is written back
//   by WriteJob: "Dp" is a field only Veloxa writes.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "datastruct/CheckSettingTypes.h"
#include "utils/umessage.h"
#include "utils/ustring.h"

// One problem's definition, read once when the catalogue is built.
struct BSettingDefinition {
  eSettingType type = eSettingType_Undefined;
  bool userUnits = false;
  // The "defaults" record; null when absent or not a record.
  std::shared_ptr<const umessage> defaults;
  // Whether the defaults record has any entry.
  bool HasDefaults() const { return defaults && !defaults->empty(); }
};

// Problem name -> definition, immutable once built. Lookups bisect.
class SettingCatalogue {
 public:
  explicit SettingCatalogue(const umessage& definitions);

  // The definition of the name, or null.
  const BSettingDefinition* Find(std::string_view name) const;
  // The definition's type; eSettingType_Undefined when the name has none.
  eSettingType TypeOf(std::string_view name) const;
  std::size_t size() const { return entries_.size(); }

 private:
  std::vector<std::pair<ustring, BSettingDefinition>> entries_;  // sorted by name
};

// Stores a received definitions message (see Lifecycle).
void InstallSettingDefinitions(umessage definitions);
// The last message installed; an empty message when none was. Records
// reached through it are shared with the catalogue: read them, never change
// them.
std::shared_ptr<const umessage> SettingDefinitions();
// The catalogue, built on the first call after a non-empty message has been
// installed; null while there is none.
std::shared_ptr<const SettingCatalogue> SettingDefinitionCatalogue();

// Tests only: forgets the stored message, the catalogue and its source, as
// at process start.
void ResetSettingDefinitionsForTesting();
