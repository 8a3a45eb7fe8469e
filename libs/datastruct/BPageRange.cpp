#include "datastruct/BPageRange.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "datastruct/JobLimits.h"
#include "datastruct/KeyStreamScope.h"

namespace {

constexpr std::uint16_t kRelativeListKey = make_key("LP");
constexpr std::uint16_t kAbsoluteListKey = make_key("PR");
constexpr std::uint16_t kStartKey = make_key("sS");
constexpr std::uint16_t kCountKey = make_key("sN");
constexpr std::uint16_t kLabelKey = make_key("sP");
constexpr std::uint16_t kKindKey = make_key("sF");

std::int32_t clamp_to_int32(std::int64_t v) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

void refuse_another(const BPageRangeListBase::Ranges& read) {
  job_limits::RefuseBeyond(read.size() + 1, job_limits::kMaxPageRanges, "BJobFile: too many page ranges");
}

}  // namespace

BPageRange::~BPageRange() = default;
BPageRangeList::~BPageRangeList() = default;
BPageRangeAbsoluteList::~BPageRangeAbsoluteList() = default;

BPageRangeListBase::BPageRangeListBase(const BPageRangeListBase& other) {
  ranges_.reserve(other.ranges_.size());
  for (const auto& range : other.ranges_) ranges_.push_back(std::make_unique<BPageRange>(*range));
}

BPageRangeListBase& BPageRangeListBase::operator=(const BPageRangeListBase& other) {
  if (this != &other) {
    BPageRangeListBase copy(other);
    ranges_.swap(copy.ranges_);
  }
  return *this;
}

BPageRange* BPageRangeListBase::Append(std::unique_ptr<BPageRange> range) {
  if (range == nullptr) return nullptr;
  ranges_.push_back(std::move(range));
  return ranges_.back().get();
}

std::int64_t BPageRangeListBase::TotalPageCount() const {
  std::int64_t total = 0;
  for (const auto& range : ranges_) total += range->count();
  return total;
}

bool BPageRangeListBase::operator==(const BPageRangeListBase& other) const {
  return std::equal(ranges_.begin(), ranges_.end(), other.ranges_.begin(), other.ranges_.end(),
                    [](const auto& a, const auto& b) { return *a == *b; });
}

void BPageRangeList::Write(UKeyOutStream& w) const {
  w.begin_record(kRelativeListKey);
  for (const auto& range : ranges_) {
    w.key(kStartKey).write(range->start());
    w.key(kCountKey).write(range->count());
    w.key(kLabelKey).write(range->label());
    w.key(kKindKey).write(range->kind());
  }
  w.end();
}

void BPageRangeList::Read(UKeyInStream& r) {
  Ranges read;
  {
    UKeyInScope list(r, kRelativeListKey);
    // Wide, so that hostile counts cannot overflow the running position.
    std::int64_t position = 0;
    while (r.next_item()) {
      refuse_another(read);
      auto range = std::make_unique<BPageRange>();
      std::int32_t start = 0, count = 0, kind = 0;
      ustring label;
      r.select(kStartKey).read(start);
      r.select(kCountKey).read(count);
      r.select(kLabelKey).read(label);
      r.select(kKindKey).read(kind);
      range->SetStart(start);
      range->SetCount(count);
      range->SetLabel(label);
      range->SetKind(kind);
      range->SetFirstPage(clamp_to_int32(position + 1));
      position += count;
      read.push_back(std::move(range));
    }
  }
  ranges_.swap(read);
}

void BPageRangeAbsoluteList::Write(UKeyOutStream& w) const {
  w.begin_record(kAbsoluteListKey);
  for (const auto& range : ranges_) {
    w.key(kStartKey).write(range->start());
    w.key(kCountKey).write(range->count());
  }
  w.end();
}

void BPageRangeAbsoluteList::Read(UKeyInStream& r) {
  Ranges read;
  {
    UKeyInScope list(r, kAbsoluteListKey);
    while (r.next_item()) {
      refuse_another(read);
      std::int32_t start = 0, count = 0;
      r.select(kStartKey).read(start);
      r.select(kCountKey).read(count);
      auto range = std::make_unique<BPageRange>(start, count, BPageRange::kKindAbsolute);
      range->SetFirstPage(start);
      read.push_back(std::move(range));
    }
  }
  ranges_.swap(read);
}
