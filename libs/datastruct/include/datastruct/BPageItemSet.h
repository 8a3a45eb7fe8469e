// The page-item set: what the page information file says about each page.
//
// In the page information file every page n gets
//
//   items     := 0x008C record { page-item fields* }   the items of page n, in
//                                                      list order
//   flattener := 0x00B4 record { }                     only when a flattener is
//                                                      recorded for page n
//
// The job fills nothing in here itself, so a job's set is empty and every
// page's item record is empty; the types exist so that the file's layout has
// one place that writes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "utils/UKeyStream.h"

// One thing placed on a page.
class BPageItem {
 public:
  explicit BPageItem(std::int32_t page) : page_(page) {}
  virtual ~BPageItem();

  std::int32_t page() const { return page_; }
  // The item's own fields, into the page's item record.
  virtual void WriteFields(UKeyOutStream& w) const = 0;

 private:
  std::int32_t page_;
};

class BPageItemList {
 public:
  using Items = std::vector<std::unique_ptr<BPageItem>>;

  BPageItemList() = default;
  BPageItemList(const BPageItemList&) = delete;
  BPageItemList& operator=(const BPageItemList&) = delete;
  virtual ~BPageItemList();

  void Clear() { items_.clear(); }
  // Takes ownership; a null pointer is ignored.
  void Append(std::unique_ptr<BPageItem> item);
  std::size_t Count() const { return items_.size(); }
  Items::const_iterator begin() const { return items_.begin(); }
  Items::const_iterator end() const { return items_.end(); }

 private:
  Items items_;
};

// Transparency flattener settings; written as an empty record.
class BTransparencyFlattener {
 public:
  BTransparencyFlattener() = default;
  virtual ~BTransparencyFlattener();
};

class BDocumentTransparencyFlattener : public BTransparencyFlattener {
 public:
  BDocumentTransparencyFlattener() = default;
  ~BDocumentTransparencyFlattener() override;
};

class BPageItemSet {
 public:
  static constexpr std::uint16_t kItemsKey = 0x008C;
  static constexpr std::uint16_t kFlattenerKey = 0x00B4;

  BPageItemList& items() { return items_; }
  const BPageItemList& items() const { return items_; }
  BDocumentTransparencyFlattener& documentFlattener() { return documentFlattener_; }

  // Records a flattener for one page, replacing an earlier one; null removes it.
  void SetPageFlattener(std::int32_t page, std::unique_ptr<BTransparencyFlattener> flattener);
  const BTransparencyFlattener* PageFlattener(std::int32_t page) const;

  void Clear();
  bool empty() const { return items_.Count() == 0 && pageFlatteners_.empty(); }

  // Record 0x008C with the items of page n, in list order.
  void WritePageItems(UKeyOutStream& w, std::int32_t page) const;
  // Record 0x00B4 when a flattener is recorded for the page; nothing otherwise.
  void WritePageFlattener(UKeyOutStream& w, std::int32_t page) const;

 private:
  BPageItemList items_;
  BDocumentTransparencyFlattener documentFlattener_;
  std::map<std::int32_t, std::unique_ptr<BTransparencyFlattener>> pageFlatteners_;
};
