// BDestinationList: a job's destinations in order, owned; the base of BGroup.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "datastruct/BDestination.h"

class BJobFile;

class BDestinationList {
 public:
  using Destinations = std::vector<std::unique_ptr<BDestination>>;

  explicit BDestinationList(BJobFile* job) : job_(job) {}
  BDestinationList(const BDestinationList&) = delete;
  BDestinationList& operator=(const BDestinationList&) = delete;
  virtual ~BDestinationList();

  // Creates a destination bound to the job and this list, appends it and
  // returns it.
  virtual BDestination* NewDestination() = 0;

  // Takes ownership; a null pointer is ignored (and null returned).
  BDestination* Append(std::unique_ptr<BDestination> destination);
  void Clear() { destinations_.clear(); }
  std::size_t Count() const { return destinations_.size(); }
  bool empty() const { return destinations_.empty(); }
  BDestination& At(std::size_t i) const { return *destinations_[i]; }
  Destinations::const_iterator begin() const { return destinations_.begin(); }
  Destinations::const_iterator end() const { return destinations_.end(); }

  // True when every destination is exported, and for an empty list.
  bool AllExported() const;

  BJobFile* job() const { return job_; }

 private:
  BJobFile* job_;
  Destinations destinations_;
};
