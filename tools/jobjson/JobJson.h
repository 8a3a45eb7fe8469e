// The JSON face of a job: how vxjob shows a job and builds one from JSON, and
// how the simulated Veloxa builds the jobs it sends. One mapping for both, so
// that a job a person writes for the simulator reads exactly as vxjob make
// reads it.
#pragma once

#include <stdexcept>
#include <string>

#include "datastruct/BJobFile.h"
#include "utils/umessage.h"

// A JSON member of the wrong kind ("member groups[0].width: expected a
// number"), or a payload that cannot be written.
struct JobJsonError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The job as one JSON record: the job model's members under their names;
// rectangles as [x, y, width, height], left out while undefined; empty lists
// left out; the loaded check settings and the required PDF version; last
// "geometry" with the [width, depth] of trim, bleed and type area as
// ComputeGeometry gives them (which sets the job's rectangles).
umessage job_to_json(BJobFile& job);

// The messages a payload carries beside the job: the setting definitions
// (field "Dp") and the check settings (field "SR").
struct JobMessages {
  umessage definitions;
  umessage settings;
};

// Fills an empty job from a record of the members job_to_json writes (all
// optional; the derived ones are ignored) and returns "definitions" and
// "settings". Throws JobJsonError for a member of the wrong kind, naming it.
JobMessages job_from_json(BJobFile& job, const umessage& m);

// The payload as Veloxa sends it: the definitions, the full job, then the
// settings. Throws JobJsonError when it cannot be written.
std::string write_job_payload(BJobFile& job, const JobMessages& messages);
