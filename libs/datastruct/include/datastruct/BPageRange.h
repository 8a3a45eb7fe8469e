// Page ranges: a job's pages as a relative list (each range numbered from
// where the previous one ended) and as an absolute list (ranges with explicit
// start pages). Exported destinations record absolute lists too.
//
// Key-stream records (each a record of items; a repeated key starts the next
// item):
//
//   relative := 'LP' record { item* }   item := sS:int sN:int sP:string sF:int
//   absolute := 'PR' record { item* }   item := sS:int sN:int
//
// Reading clears the list first. Absent numbers read as the defaults of a new
// range, except that a relative item without "sF" gets kind 0; an absolute
// item always gets kind '+'. A missing record reads as an empty list. Reading
// throws only what the key-stream reader throws (a number longer than four
// bytes: "UKeyInStream: reading field longer than expected") and, for a record
// of more than job_limits::kMaxPageRanges items, "BJobFile: too many page
// ranges" (JobLimits.h); the list is then unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "utils/UKeyStream.h"
#include "utils/ustring.h"

class BPageRange {
 public:
  static constexpr std::int32_t kKindRelative = 'N';  // 78
  static constexpr std::int32_t kKindAbsolute = '+';  // 43

  BPageRange() = default;
  BPageRange(std::int32_t start, std::int32_t count, std::int32_t kind = kKindRelative)
      : start_(start), count_(count), kind_(kind) {}
  BPageRange(const BPageRange&) = default;
  BPageRange& operator=(const BPageRange&) = default;
  virtual ~BPageRange();

  const ustring& label() const { return label_; }
  std::int32_t start() const { return start_; }
  std::int32_t count() const { return count_; }
  // A character code: 'N' for a new relative range, '+' for absolute ranges.
  std::int32_t kind() const { return kind_; }
  // Derived on reading: the page number the range begins at.
  std::int32_t firstPage() const { return firstPage_; }

  void SetLabel(const ustring& label) { label_ = label; }
  void SetStart(std::int32_t start) { start_ = start; }
  void SetCount(std::int32_t count) { count_ = count; }
  void SetKind(std::int32_t kind) { kind_ = kind; }
  void SetFirstPage(std::int32_t page) { firstPage_ = page; }

  bool operator==(const BPageRange& other) const {
    return label_ == other.label_ && start_ == other.start_ && count_ == other.count_ &&
           kind_ == other.kind_ && firstPage_ == other.firstPage_;
  }

 private:
  ustring label_;
  std::int32_t start_ = 0;
  std::int32_t count_ = 0;
  std::int32_t kind_ = kKindRelative;
  std::int32_t firstPage_ = 0;
};

// Owned ranges in order; the two lists below differ only in their records.
class BPageRangeListBase {
 public:
  using Ranges = std::vector<std::unique_ptr<BPageRange>>;

  BPageRangeListBase() = default;
  // Deep copies.
  BPageRangeListBase(const BPageRangeListBase& other);
  BPageRangeListBase& operator=(const BPageRangeListBase& other);
  BPageRangeListBase(BPageRangeListBase&&) noexcept = default;
  BPageRangeListBase& operator=(BPageRangeListBase&&) noexcept = default;

  void Clear() { ranges_.clear(); }
  // Takes ownership; a null pointer is ignored.
  BPageRange* Append(std::unique_ptr<BPageRange> range);
  BPageRange* Append(const BPageRange& range) { return Append(std::make_unique<BPageRange>(range)); }

  std::size_t Count() const { return ranges_.size(); }
  bool empty() const { return ranges_.empty(); }
  BPageRange& At(std::size_t i) const { return *ranges_[i]; }
  Ranges::const_iterator begin() const { return ranges_.begin(); }
  Ranges::const_iterator end() const { return ranges_.end(); }

  // The sum of the ranges' counts, computed wide so that no payload can
  // overflow it (negative counts subtract, as they add up).
  std::int64_t TotalPageCount() const;

  // Same ranges (by value) in the same order.
  bool operator==(const BPageRangeListBase& other) const;

 protected:
  ~BPageRangeListBase() = default;

  Ranges ranges_;
};

class BPageRangeList : public BPageRangeListBase {
 public:
  BPageRangeList() = default;
  BPageRangeList(const BPageRangeList&) = default;
  BPageRangeList& operator=(const BPageRangeList&) = default;
  BPageRangeList(BPageRangeList&&) noexcept = default;
  BPageRangeList& operator=(BPageRangeList&&) noexcept = default;
  virtual ~BPageRangeList();

  // Record 'LP' in the current record.
  void Write(UKeyOutStream& w) const;
  // Clears, then reads record 'LP' of the current item. firstPage of each
  // range is 1 + the counts of the ranges before it.
  void Read(UKeyInStream& r);
};

class BPageRangeAbsoluteList : public BPageRangeListBase {
 public:
  BPageRangeAbsoluteList() = default;
  BPageRangeAbsoluteList(const BPageRangeAbsoluteList&) = default;
  BPageRangeAbsoluteList& operator=(const BPageRangeAbsoluteList&) = default;
  BPageRangeAbsoluteList(BPageRangeAbsoluteList&&) noexcept = default;
  BPageRangeAbsoluteList& operator=(BPageRangeAbsoluteList&&) noexcept = default;
  virtual ~BPageRangeAbsoluteList();

  // Record 'PR' in the current record.
  void Write(UKeyOutStream& w) const;
  // Clears, then reads record 'PR' of the current item; each range gets kind
  // '+' and firstPage = start.
  void Read(UKeyInStream& r);
};
