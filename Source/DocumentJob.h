// The job inside the document: a document made for a job carries it in its
// dictionary, so that the plug-in can resize, report and export it later
// without asking Veloxa, and the link survives saving and reopening the file.
//
// The entry: key "Veloxa5SLUGData", a binary entry holding the job written by
// WriteJob with eJobFileContent_Layout (a key stream, raw bytes). A document
// has a stored job when the entry exists and reads back into a job.
//
// Records: DEBUG as the source "Source\VXIllustrator" at the lines of the
// functions below; an entry that cannot be written, or a stored job that is
// too large or cannot be read, gives an ERROR record.
#pragma once

#include <cstddef>
#include <istream>

#include "AIHost.h"

class BJobFile;

inline constexpr char kJobEntryKey[] = "Veloxa5SLUGData";
// The largest stored job read back: twice the largest job an answer can
// carry. A larger entry is not a job the plug-in stored.
inline constexpr std::size_t kMaxStoredJobBytes = std::size_t{16} << 20;

// Stores the job in the current document: first its colour profiles
// (ApplyColourProfiles), when applyProfiles, then the entry, and marks the
// document modified. Profiles come only from a job whose check settings
// were read (an answer of Veloxa); the copy read back from a document has
// none, and applying from it would reset the profiles just applied. Every
// write replaces the whole entry. False when nothing was stored: no
// dictionary (DEBUG 604 "dict get failed") or the entry was refused (ERROR
// "ILLE " and the code).
bool PutIntoDocumentSLUG(BJobFile& job, const ai::DocumentSuite* document, bool applyProfiles = true);

// Fills the given empty job from the current document's entry (layout
// content). False, with the job unchanged, when there is no dictionary (DEBUG
// 190), no entry (DEBUG 205 with the size query's code, then 206), the entry
// cannot be read (DEBUG 214), is larger than kMaxStoredJobBytes, or is not a
// job (ERROR with the reader's text). Never throws for what the entry holds:
// a damaged document must still be able to ask Veloxa for its details.
bool CreateFromDocumentSLUG(BJobFile& job);

// The answer that attaches a job (and the first step of an export): reads
// the job (full content; a payload that is not a job throws) and, with a
// document open, stores it and adjusts the document (AdjustDocument(guides,
// false)). Without a document the job is dropped.
void AttachReceivedJob(std::istream& stream, BJobFile& job, bool guides);
