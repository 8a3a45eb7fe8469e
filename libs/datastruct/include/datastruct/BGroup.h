// Groups: a job arranges its destinations in groups, one of which is active
// (the one whose destinations make the document's geometry and the next
// export).
//
// Key-stream record, in the meta record of a job file:
//
//   'GG' record { item* }   item := GA:bool(active) Gd:bool(flagGd)
//                                   'LL' record { destination item* }
//
// (destination items: BDestination.h).
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "datastruct/BDestinationList.h"
#include "utils/UKeyStream.h"

class BJobFile;

class BGroup : public BDestinationList {
 public:
  explicit BGroup(BJobFile* job) : BDestinationList(job) {}
  ~BGroup() override;
  BDestination* NewDestination() override;

  bool active() const { return active_; }
  void SetActive(bool active) { active_ = active; }
  // Not interpreted; carried unchanged.
  bool flagGd() const { return flagGd_; }
  void SetFlagGd(bool flag) { flagGd_ = flag; }

 private:
  bool active_ = false;
  bool flagGd_ = false;
};

class BGroupList {
 public:
  using Groups = std::vector<std::unique_ptr<BGroup>>;

  explicit BGroupList(BJobFile* job) : job_(job) {}
  BGroupList(const BGroupList&) = delete;
  BGroupList& operator=(const BGroupList&) = delete;

  // Creates a group bound to the job, appends it and returns it.
  BGroup* NewGroup();
  void Clear() { groups_.clear(); }
  std::size_t Count() const { return groups_.size(); }
  bool empty() const { return groups_.empty(); }
  BGroup& At(std::size_t i) const { return *groups_[i]; }
  Groups::const_iterator begin() const { return groups_.begin(); }
  Groups::const_iterator end() const { return groups_.end(); }

  // The first group whose active flag is set, or null.
  BGroup* ActiveGroup() const;
  // Sets every group's active flag to whether it is `group` (null: clears all).
  void SetActiveGroup(const BGroup* group);
  // The first group holding a destination not yet exported, or null.
  BGroup* FirstGroupWithUnexported() const;

  // Record 'GG'. With eJobFileContent_ActiveGroupOnly only active groups are
  // written; with eJobFileContent_UnexportedOnly only destinations not yet
  // exported, and those written are appended to *written (when given) so that
  // the caller can mark them once the write has succeeded. Nothing here
  // changes a destination.
  void Write(UKeyOutStream& w, int mask, std::vector<BDestination*>* written) const;
  // Replaces the groups by record 'GG' of the current item (none when it is
  // absent). Throws what the key-stream reader throws; the groups are then
  // unchanged.
  void Read(UKeyInStream& r);

  // Exchanges the groups of two lists of the same job.
  void swap(BGroupList& other) noexcept { groups_.swap(other.groups_); }

  BJobFile* job() const { return job_; }

 private:
  BJobFile* job_;
  Groups groups_;
};
