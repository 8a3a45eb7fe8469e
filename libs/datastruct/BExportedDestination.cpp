#include "datastruct/BExportedDestination.h"

#include <algorithm>
#include <utility>

#include "datastruct/JobLimits.h"
#include "datastruct/KeyStreamScope.h"

namespace {

constexpr std::uint16_t kListKey = make_key("EL");
constexpr std::uint16_t kIdentifierKey = make_key("ID");

bool by_identifier(const std::unique_ptr<BExportedDestination>& a,
                   const std::unique_ptr<BExportedDestination>& b) {
  return a->identifier() < b->identifier();
}

}  // namespace

BExportedDestination::~BExportedDestination() = default;
BExportedDestinationList::~BExportedDestinationList() = default;

BExportedDestinationList::BExportedDestinationList(const BExportedDestinationList& other) {
  records_.reserve(other.records_.size());
  for (const auto& record : other.records_)
    records_.push_back(std::make_unique<BExportedDestination>(*record));
}

BExportedDestinationList& BExportedDestinationList::operator=(const BExportedDestinationList& other) {
  if (this != &other) {
    BExportedDestinationList copy(other);
    records_.swap(copy.records_);
  }
  return *this;
}

BExportedDestination* BExportedDestinationList::Insert(std::unique_ptr<BExportedDestination> record) {
  if (record == nullptr) return nullptr;
  const auto at = std::upper_bound(records_.begin(), records_.end(), record, by_identifier);
  return records_.insert(at, std::move(record))->get();
}

void BExportedDestinationList::Write(UKeyOutStream& w) const {
  w.begin_record(kListKey);
  for (const auto& record : records_) {
    w.key(kIdentifierKey).write(record->identifier());
    record->pageRanges().Write(w);
  }
  w.end();
}

void BExportedDestinationList::Read(UKeyInStream& r) {
  Records read;
  {
    UKeyInScope list(r, kListKey);
    while (r.next_item()) {
      job_limits::RefuseBeyond(read.size() + 1, job_limits::kMaxExportedDestinations,
                               "BJobFile: too many exported destinations");
      auto record = std::make_unique<BExportedDestination>();
      std::int32_t identifier = 0;
      r.select(kIdentifierKey).read(identifier);
      record->SetIdentifier(identifier);
      record->pageRanges().Read(r);
      read.push_back(std::move(record));
    }
  }
  // Sorting once, stably, gives the order of inserting one record at a time
  // without its quadratic cost on a long list in descending order.
  std::stable_sort(read.begin(), read.end(), by_identifier);
  records_.swap(read);
}

bool BExportedDestinationList::operator==(const BExportedDestinationList& other) const {
  return std::equal(records_.begin(), records_.end(), other.records_.begin(), other.records_.end(),
                    [](const auto& a, const auto& b) { return *a == *b; });
}
