// Limits of the job model that no real job reaches.
//
// A payload is untrusted, and an item of a few bytes (an empty destination,
// page range or user field) becomes a model object of hundreds of bytes: a
// payload of one megabyte built of such items would cost close to a gigabyte.
// Readers refuse a payload past these limits by throwing std::runtime_error
// with the text named beside each limit, as the key-stream reader refuses
// malformed input; the job is then left as it was (BJobFile.h).
//
// A real job holds a few destinations, rarely more than a thousand, with a
// few dozen user fields each, page ranges that describe at most
// BJobFile::kMaxPageInfoPages pages, and a few hundred check settings.
#pragma once

#include <cstddef>

namespace job_limits {

// Groups of record "GG": "BJobFile: too many groups".
inline constexpr std::size_t kMaxGroups = 10000;
// Destinations of all groups together: "BJobFile: too many destinations".
inline constexpr std::size_t kMaxDestinations = 10000;
// User fields of one destination, the dropped ones included: "BJobFile: too
// many user fields".
inline constexpr std::size_t kMaxUserFields = 1000;
// Items of one page-range record ("LP", "PR", and the list of each exported
// destination): "BJobFile: too many page ranges".
inline constexpr std::size_t kMaxPageRanges = 100000;
// Records of "EL": "BJobFile: too many exported destinations".
inline constexpr std::size_t kMaxExportedDestinations = 10000;
// Check settings loaded from "SR" (a real job has one per problem of the
// catalogue at most): "BJobFile: too many check settings".
inline constexpr std::size_t kMaxCheckSettings = 10000;

// Throws std::runtime_error(text) when count has passed limit.
void RefuseBeyond(std::size_t count, std::size_t limit, const char* text);

}  // namespace job_limits
