#include "datastruct/BPageItemSet.h"

#include <utility>

BPageItem::~BPageItem() = default;
BPageItemList::~BPageItemList() = default;
BTransparencyFlattener::~BTransparencyFlattener() = default;
BDocumentTransparencyFlattener::~BDocumentTransparencyFlattener() = default;

void BPageItemList::Append(std::unique_ptr<BPageItem> item) {
  if (item != nullptr) items_.push_back(std::move(item));
}

void BPageItemSet::SetPageFlattener(std::int32_t page, std::unique_ptr<BTransparencyFlattener> flattener) {
  if (flattener == nullptr) {
    pageFlatteners_.erase(page);
  } else {
    pageFlatteners_[page] = std::move(flattener);
  }
}

const BTransparencyFlattener* BPageItemSet::PageFlattener(std::int32_t page) const {
  const auto it = pageFlatteners_.find(page);
  return it != pageFlatteners_.end() ? it->second.get() : nullptr;
}

void BPageItemSet::Clear() {
  items_.Clear();
  pageFlatteners_.clear();
}

void BPageItemSet::WritePageItems(UKeyOutStream& w, std::int32_t page) const {
  w.begin_record(kItemsKey);
  for (const auto& item : items_) {
    if (item->page() == page) item->WriteFields(w);
  }
  w.end();
}

void BPageItemSet::WritePageFlattener(UKeyOutStream& w, std::int32_t page) const {
  if (PageFlattener(page) == nullptr) return;
  w.begin_record(kFlattenerKey);
  w.end();
}
