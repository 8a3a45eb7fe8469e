// Counts the heap allocations of a test or benchmark program. Linking
// allocation_counter.cpp (target vx_allocation_counter) replaces the global
// operator new and delete of the program; the counts cover everything that
// allocates through them (std::string, ustring, containers, shared records).
#pragma once

#include <cstddef>

namespace vxtest {

// What the program allocated between two points.
struct AllocationStats {
  std::size_t count = 0;    // allocations
  std::size_t bytes = 0;    // bytes allocated in all
  std::size_t largest = 0;  // the largest single allocation
  std::size_t peak = 0;     // most bytes live at once, above the start level
};

// Measures from construction to stats(); scopes may not overlap in time
// (the largest and peak figures are shared by all of them).
class AllocationScope {
 public:
  AllocationScope();
  AllocationStats stats() const;

 private:
  std::size_t count_;
  std::size_t bytes_;
  std::size_t live_;
};

}  // namespace vxtest
