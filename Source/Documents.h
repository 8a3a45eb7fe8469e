// Documents from job details: a new document of the booked size when Veloxa
// answers with job details, the plug-in's guides (type area, trim and, on
// request, bleed), the size of the first artboard, the job's colour
// profiles, and the job-details request that tells Veloxa what the current
// document is.
//
// Guides: every path the plug-in turns into guides carries, in its art
// dictionary, the boolean `GuideTag` = true under kGuideTagKey; the trim
// rectangle also `TrimGuideTag` = true under kTrimGuideTagKey. Every
// adjustment with guides first removes all tagged art, so a document holds
// at most one set of the plug-in's guides.
//
// Everything runs on the host's main thread inside a host message of the
// started plug-in (a timer tick or a menu command). Records are DEBUG as the
// source "Source\VXIllustrator" at the documented lines; a failed host call
// is logged as "ILLE " and the code where the step it ends is named below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>
#include <string>

#include "AIHost.h"
#include "utils/ustring.h"

class BJobFile;

inline constexpr char kGuideTagKey[] = "DA127AE0-01B3-42C6-BADB-8D6C6E488FC8";
inline constexpr char kTrimGuideTagKey[] = "DA949A67-1B85-4922-B775-511D1A0504E6";
inline constexpr char kMakeGuideAction[] = "adobe_makeGuide";
// The check setting that names the document's colour profiles (texts 0 to 2:
// RGB, CMYK, grey).
inline constexpr char kWorkingSpaceProfilesSetting[] = "Setting_WorkingSpaceProfiles";
// The largest colour profile file read (profiles are a few megabytes at most).
inline constexpr std::uint64_t kMaxProfileBytes = std::uint64_t{64} << 20;

// The answer with job details: reads the job (full content; a payload that is
// not a job throws), takes its sizes and, when they are usable, records them
// (DEBUG 1337 "new details " and the six sizes), makes a new document of the
// bleed box's size and, only when that document was made and is the current
// one, stores the job in it and adjusts it (AdjustDocument(true, false)). A
// job without usable sizes makes no document.
void HandleNewDetailsReply(std::istream& stream, BJobFile& job);

// A new document of width x height points through the document list suite,
// with the 112-byte preset (an empty title, one artboard, colour model 2,
// ruler units 3), an empty preset name and dialog status 0. The new document,
// or null after DEBUG 772 "New document failed " and the code.
ai::DocumentHandle NewDoc(const ai::DocumentListSuite* suite, double width, double height);

// Re-applies the job stored in the current document: with usable sizes,
// removes the plug-in's guides (guides), sets the job's layout values (bleed
// per side, trim width and depth), and (guides) draws the type-area and trim
// guides centred on the page (host version below 14) or on artboard 0, plus
// with resizeArtboard either bleed guides (below 15) or artboard 0 resized to
// the bleed box around its old centre (15 and above). Then stores the job
// again, also when its sizes were not usable. Nothing happens without a
// document or a stored job; without the runtime or path suite no guides are
// drawn and the artboard stays as it is.
void AdjustDocument(bool guides, bool resizeArtboard);

// One rectangle of guides at (x, y), w x h points (y upward): a closed path
// of four corners above all art, tagged (and trim-tagged), selected alone,
// turned into guides by "adobe_makeGuide" and locked. False when any step
// fails (selection: DEBUG 485 "ILLE "); the path is then disposed of, so no
// printing rectangle is left behind.
bool MakeGuides(const ai::PathSuite* paths, double x, double y, double w, double h, bool trim);

// Unlocks and disposes of every art of the current document tagged with
// GuideTag.
void RemoveGuides();

// Plays the host action without parameters or dialog. False after DEBUG 462
// "ILLE " and the code.
bool DoAction(const char* name);

// Sets the current document's three colour profiles from the texts 0 to 2 of
// the job's "Setting_WorkingSpaceProfiles" (a text that is not set, or whose
// file cannot be loaded, gives none). Nothing happens when the job has no
// such setting. The host's profiles are given back once the document has
// them.
void ApplyColourProfiles(BJobFile& job, const ai::DocumentSuite* document);

// The bytes of a colour profile file. None for a path that is not absolute
// or names nothing; none with an ERROR record for anything but a regular file
// of 1 to kMaxProfileBytes bytes that reads completely. DEBUG 513 "len = "
// and the size.
std::optional<std::string> load_profile(const ustring& path);

// Writes the job-details request's job (full content) to out: for a document
// with a stored job, that job with valueLC 1 and, with usable sizes, its trim
// as layout width and depth (DEBUG 326 "details request " and the six sizes);
// for a document without one, an empty job with valueLC 1 and the page size;
// with no document, an empty job. documentName is the document's full path,
// "?" when the host has none. True only for a stored job with usable sizes.
bool BuildDetailsRequest(std::ostream& out);
