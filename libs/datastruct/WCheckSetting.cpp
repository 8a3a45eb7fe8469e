#include "datastruct/WCheckSetting.h"

namespace {

const ustring kSev("sev");
const ustring kP("P");
const ustring kPV("PV");
const ustring kPrecision("precision");
const ustring kFix("fix");
const ustring kLimitKeys[4] = {ustring("note"), ustring("warn"), ustring("fault"), ustring("ignore")};
const ustring kNoKey;

constexpr int kDefaultPrecision = 2;

std::optional<double> number_of(const umessage* message, const ustring& key) {
  double value = 0;
  if (message != nullptr && message->get(key, 0, value)) return value;
  return std::nullopt;
}

}  // namespace

WCheckSetting::~WCheckSetting() = default;

eProblemSeverity WCheckSetting::Severity() const { return ParseSeverityWord(SeverityText().view()); }

ustring WCheckSetting::SeverityText() const { return message_ ? message_->value<ustring>(kSev) : ustring(); }

const ustring& WCheckSetting::LimitKey(int i) { return i >= 0 && i < 4 ? kLimitKeys[i] : kNoKey; }

std::optional<double> WCheckSetting::Limit(int i) const {
  if (i < 0 || i >= 4) return std::nullopt;
  return number_of(message_.get(), kLimitKeys[i]);
}

std::optional<ustring> WCheckSetting::Text(int i) const {
  ustring text;
  if (message_ && i >= 0 && message_->get(kP, static_cast<std::size_t>(i), text)) return text;
  return std::nullopt;
}

std::optional<double> WCheckSetting::ParameterValue() const { return number_of(message_.get(), kPV); }

int WCheckSetting::Precision() const {
  return message_ ? message_->value<int>(kPrecision, 0, kDefaultPrecision) : kDefaultPrecision;
}

bool WCheckSetting::Fix() const { return message_ && message_->value<bool>(kFix); }
