// WCheckSetting: a read-only view over one check-setting message of the new
// form, as found in a ticket's check groups and in definition defaults.
//
//   "sev"                             text     severity word ("ignore" ..)
//   "note", "warn", "fault", "ignore" number   limits 0, 1, 2, 3
//   "P"                               texts    string parameters 0 to 2
//   "PV"                              number   numeric parameter
//   "precision"                       integer  decimals, default 2
//   "fix"                             boolean  may be fixed automatically
//
// A view over a null pointer, or over a record without entries, is empty.
// Readers never throw: a key that is absent or holds another type reads as
// absent ("number" accepts int, double and int64 values; the first value
// counts).
#pragma once

#include <memory>
#include <optional>
#include <utility>

#include "datastruct/CheckSettingTypes.h"
#include "utils/umessage.h"
#include "utils/ustring.h"

class WCheckSetting {
 public:
  WCheckSetting() = default;
  explicit WCheckSetting(std::shared_ptr<const umessage> message) : message_(std::move(message)) {}
  WCheckSetting(const WCheckSetting&) = default;
  WCheckSetting& operator=(const WCheckSetting&) = default;
  WCheckSetting(WCheckSetting&&) noexcept = default;
  WCheckSetting& operator=(WCheckSetting&&) noexcept = default;
  virtual ~WCheckSetting();

  // The severity the message states: the value of its "sev" word, NotSet
  // when the word is absent or unknown.
  virtual eProblemSeverity Severity() const;

  bool empty() const { return !message_ || message_->empty(); }
  const std::shared_ptr<const umessage>& message() const { return message_; }

  // The "sev" text; empty when absent.
  ustring SeverityText() const;
  // Limit i (0 note, 1 warn, 2 fault, 3 ignore); nullopt when absent, not a
  // number, or i is outside 0..3.
  std::optional<double> Limit(int i) const;
  // Text i of "P"; nullopt when absent or not a text.
  std::optional<ustring> Text(int i) const;
  // "PV"; nullopt when absent or not a number.
  std::optional<double> ParameterValue() const;
  // "precision", 2 when absent or not a number.
  int Precision() const;
  // "fix" is true.
  bool Fix() const;

  // The message key of limit i ("note", "warn", "fault", "ignore"); empty
  // outside 0..3.
  static const ustring& LimitKey(int i);

 private:
  std::shared_ptr<const umessage> message_;
};
