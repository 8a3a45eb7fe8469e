// Content masks of the job file operations: a job is read or written with the
// sum of the bits that select its sections. The masks in use are 2 (the copy
// stored in a document), 4 (answers and requests) and 52 (the export report).
#pragma once

enum eJobFileContent : int {
  // The layout section: values measured in the host document.
  eJobFileContent_Layout = 2,
  // The layout section, the full section (counters, file locations, page
  // ranges, exported destinations) and, on reading, the check settings.
  eJobFileContent_Full = 4,
  // Writing: groups whose active flag is false are left out.
  eJobFileContent_ActiveGroupOnly = 16,
  // Writing: destinations already exported are left out; each destination
  // written is marked exported.
  eJobFileContent_UnexportedOnly = 32,
};

// The export report: full content of the active group's unexported
// destinations.
inline constexpr int kJobFileContent_Export =
    eJobFileContent_Full | eJobFileContent_ActiveGroupOnly | eJobFileContent_UnexportedOnly;

inline constexpr bool HasLayoutSection(int mask) {
  return (mask & (eJobFileContent_Layout | eJobFileContent_Full)) != 0;
}
inline constexpr bool HasFullSection(int mask) { return (mask & eJobFileContent_Full) != 0; }
