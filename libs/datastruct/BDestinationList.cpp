#include "datastruct/BDestinationList.h"

#include <algorithm>
#include <utility>

BDestinationList::~BDestinationList() = default;

BDestination* BDestinationList::Append(std::unique_ptr<BDestination> destination) {
  if (destination == nullptr) return nullptr;
  destinations_.push_back(std::move(destination));
  return destinations_.back().get();
}

bool BDestinationList::AllExported() const {
  return std::all_of(destinations_.begin(), destinations_.end(), [](const auto& d) { return d->exported(); });
}
