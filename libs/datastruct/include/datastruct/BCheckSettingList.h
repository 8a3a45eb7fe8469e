// BCheckSettingList: a job's check settings.
//
// The list owns its settings and keeps them sorted by name (byte order,
// through the virtual Compare). Add puts a new setting before any setting of
// the same name, so Find returns the one added last.
//
// Find also answers for problems the job does not mention: when the
// definitions catalogue has non-empty "defaults" for the name, it builds a
// setting from them once, keeps it in a second, shared-owned collection and
// returns that same object on later calls. That collection lives as long as
// the list (Clear does not drop it).
//
// Pointers returned by Find stay valid until the next Clear (or LoadSettings,
// which clears) for settings of the sorted list, and for the life of the list
// for settings built from defaults.
//
// For the job file
//   ReadContent (full section): read "SR" with read_message (absent: an
//   empty message) and call LoadSettings(checkSettings, sr) (LoadSettings.h),
//   which clears and refills the list. WriteJob writes nothing of the list:
//   "SR" is a field only Veloxa writes.
//   The PDF export asks RequiredPDFVersion(): 0 for no requirement, else a
//   version between 1.3 and 1.7.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "datastruct/BCheckSetting.h"
#include "utils/ustring.h"

class BCheckSettingList {
 public:
  BCheckSettingList() = default;
  BCheckSettingList(const BCheckSettingList&) = delete;
  BCheckSettingList& operator=(const BCheckSettingList&) = delete;
  // A moved-from list is empty.
  BCheckSettingList(BCheckSettingList&& other) noexcept;
  BCheckSettingList& operator=(BCheckSettingList&& other) noexcept;
  virtual ~BCheckSettingList();

  // The order of the list: <0, 0, >0 as a sorts before, with, after b.
  virtual int Compare(const ustring& a, const ustring& b) const;

  // Destroys every setting of the sorted list.
  void Clear();
  // Inserts keeping the order (before equal names); a null setting is
  // ignored. Any order of adds costs O(n log n) in all: settings that
  // arrive out of order are sorted in when the list is next read.
  void Add(std::unique_ptr<BCheckSetting> setting);

  // The setting of that name: from the list, else from the settings built
  // earlier from defaults, else a new one built from the definition's
  // defaults (see above); null when there is none.
  const BCheckSetting* Find(const ustring& name) const;

  // The PDF version the job's checks ask for: the note limit of
  // "Setting_PDFVersion"; lowered to the limit at which "PDFVersionTooHigh"
  // warns or faults, raised to the limit at which "PDFVersionTooLow" does;
  // then kept within 1.3 to 1.7. 0 means no requirement (also for a
  // version that is not a number).
  double RequiredPDFVersion() const;

  std::size_t size() const { return settings_.size(); }
  bool empty() const { return settings_.empty(); }
  const BCheckSetting& operator[](std::size_t i) const {
    Sort();
    return *settings_[i];
  }

 private:
  // Brings the settings added out of order into place.
  void Sort() const;

  // In order up to sorted_; after it, the settings added since, in the
  // order of adding. Reading the list sorts them in, hence mutable.
  mutable std::vector<std::unique_ptr<BCheckSetting>> settings_;
  mutable std::size_t sorted_ = 0;
  // Built by Find from definition defaults; logically part of the const
  // list's answers, hence mutable.
  mutable std::vector<std::shared_ptr<BCheckSetting>> fromDefaults_;
};
