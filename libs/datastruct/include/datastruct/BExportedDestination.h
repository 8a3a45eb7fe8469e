// The record of destinations already exported: each destination's identifier
// with the absolute page ranges exported for it.
//
// Key-stream record, in the job's 'JJ' record:
//
//   'EL' record { item* }   item := ID:int 'PR' record (BPageRange.h)
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "datastruct/BPageRange.h"
#include "utils/UKeyStream.h"

class BExportedDestination {
 public:
  explicit BExportedDestination(std::int32_t identifier = 0) : identifier_(identifier) {}
  BExportedDestination(const BExportedDestination&) = default;
  BExportedDestination& operator=(const BExportedDestination&) = default;
  virtual ~BExportedDestination();

  std::int32_t identifier() const { return identifier_; }
  void SetIdentifier(std::int32_t identifier) { identifier_ = identifier; }
  BPageRangeAbsoluteList& pageRanges() { return pageRanges_; }
  const BPageRangeAbsoluteList& pageRanges() const { return pageRanges_; }

  bool operator==(const BExportedDestination& other) const {
    return identifier_ == other.identifier_ && pageRanges_ == other.pageRanges_;
  }

 private:
  std::int32_t identifier_;
  BPageRangeAbsoluteList pageRanges_;
};

// Owned records in ascending order of identifier. Records with equal
// identifiers keep the order in which they were inserted, so a list survives
// a write and a read in the same order.
class BExportedDestinationList {
 public:
  using Records = std::vector<std::unique_ptr<BExportedDestination>>;

  BExportedDestinationList() = default;
  // Deep copies.
  BExportedDestinationList(const BExportedDestinationList& other);
  BExportedDestinationList& operator=(const BExportedDestinationList& other);
  BExportedDestinationList(BExportedDestinationList&&) noexcept = default;
  BExportedDestinationList& operator=(BExportedDestinationList&&) noexcept = default;
  virtual ~BExportedDestinationList();

  void Clear() { records_.clear(); }
  // Inserts after every record whose identifier is not greater; a null
  // pointer is ignored.
  BExportedDestination* Insert(std::unique_ptr<BExportedDestination> record);
  std::size_t Count() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  BExportedDestination& At(std::size_t i) const { return *records_[i]; }
  Records::const_iterator begin() const { return records_.begin(); }
  Records::const_iterator end() const { return records_.end(); }

  // Record 'EL' in the current record.
  void Write(UKeyOutStream& w) const;
  // Replaces the list by record 'EL' of the current item (empty when it is
  // absent). Throws what the key-stream reader throws; the list is then
  // unchanged.
  void Read(UKeyInStream& r);

  bool operator==(const BExportedDestinationList& other) const;

 private:
  Records records_;
};
