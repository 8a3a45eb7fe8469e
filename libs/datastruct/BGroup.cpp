#include "datastruct/BGroup.h"

#include <utility>

#include "datastruct/JobFileContent.h"
#include "datastruct/JobLimits.h"
#include "datastruct/KeyStreamScope.h"

namespace {

constexpr std::uint16_t kGroupsKey = make_key("GG");
constexpr std::uint16_t kActiveKey = make_key("GA");
constexpr std::uint16_t kFlagGdKey = make_key("Gd");
constexpr std::uint16_t kDestinationsKey = make_key("LL");

}  // namespace

BGroup::~BGroup() = default;

BDestination* BGroup::NewDestination() { return Append(std::make_unique<BDestination>(job(), this)); }

BGroup* BGroupList::NewGroup() {
  groups_.push_back(std::make_unique<BGroup>(job_));
  return groups_.back().get();
}

BGroup* BGroupList::ActiveGroup() const {
  for (const auto& group : groups_) {
    if (group->active()) return group.get();
  }
  return nullptr;
}

void BGroupList::SetActiveGroup(const BGroup* group) {
  for (const auto& g : groups_) g->SetActive(g.get() == group);
}

BGroup* BGroupList::FirstGroupWithUnexported() const {
  for (const auto& group : groups_) {
    if (!group->AllExported()) return group.get();
  }
  return nullptr;
}

void BGroupList::Write(UKeyOutStream& w, int mask, std::vector<BDestination*>* written) const {
  const bool activeOnly = (mask & eJobFileContent_ActiveGroupOnly) != 0;
  const bool unexportedOnly = (mask & eJobFileContent_UnexportedOnly) != 0;
  w.begin_record(kGroupsKey);
  for (const auto& group : groups_) {
    if (activeOnly && !group->active()) continue;
    w.key(kActiveKey).write(group->active());
    w.key(kFlagGdKey).write(group->flagGd());
    w.begin_record(kDestinationsKey);
    for (const auto& destination : *group) {
      if (unexportedOnly && destination->exported()) continue;
      destination->WriteRecord(w);
      if (unexportedOnly && written != nullptr) written->push_back(destination.get());
    }
    w.end();
  }
  w.end();
}

void BGroupList::Read(UKeyInStream& r) {
  using namespace job_limits;
  BGroupList read(job_);
  std::size_t destinationCount = 0;
  {
    UKeyInScope groups(r, kGroupsKey);
    while (r.next_item()) {
      RefuseBeyond(read.Count() + 1, kMaxGroups, "BJobFile: too many groups");
      BGroup* group = read.NewGroup();
      bool active = false, flagGd = false;
      r.select(kActiveKey).read(active);
      r.select(kFlagGdKey).read(flagGd);
      group->SetActive(active);
      group->SetFlagGd(flagGd);
      UKeyInScope destinations(r, kDestinationsKey);
      while (r.next_item()) {
        RefuseBeyond(++destinationCount, kMaxDestinations, "BJobFile: too many destinations");
        group->NewDestination()->ReadRecord(r);
      }
    }
  }
  swap(read);
}
