// The large job of the job-model benchmarks, shared by them and the tick
// benchmark: groups of destinations, each with 4 user fields, every list of
// the job filled, and the payload as Veloxa sends it, which also carries the
// definitions of the 300 problems ("Dp") and a ticket whose own and
// per-destination check groups set them ("SR").
#pragma once

#include <string>

#include "datastruct/BJobFile.h"

namespace vxbench {

// The large job's shape: 5 groups of 200 destinations.
inline constexpr int kLargeJobGroups = 5;
inline constexpr int kLargeJobDestinationsPerGroup = 200;

// Fills an empty job: the first of `groups` groups is active, each holds
// per_group destinations.
void FillLargeJob(BJobFile& job, int groups = kLargeJobGroups, int per_group = kLargeJobDestinationsPerGroup);

// The payload of a job filled by FillLargeJob as Veloxa sends it: "Dp", the
// job (full content), "SR". change runs on the job before it is written.
std::string LargeJobPayload(int groups = kLargeJobGroups, int per_group = kLargeJobDestinationsPerGroup,
                            void (*change)(BJobFile&) = nullptr);

}  // namespace vxbench
