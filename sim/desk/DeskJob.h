// The jobs the simulated Veloxa sends, and what it adds to a job before it
// asks the plug-in for an export.
//
// Every job is built through the JSON mapping of vxjob (tools/jobjson), so a
// job a person writes for vxdesk reads exactly as `vxjob make` reads it, and
// every payload is written as Veloxa writes it: the definitions ("Dp"), the
// full job, the check settings ("SR").
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "JobJson.h"
#include "datastruct/BJobFile.h"
#include "utils/umessage.h"

// The job vxdesk offers unless told otherwise, as JSON: an A4 page
// (595.2756 x 841.8898 pt) with a bleed of 8.5 pt on every side and a type
// area 10 mm inside the trim, one destination in one active group, and a
// fixed jobId.
umessage BuiltInJob();

// The check settings answers carry unless others are configured: the one
// setting that requires PDF 1.4 (the old form of "SR", LoadSettings.h).
umessage DefaultCheckSettings();

// The setting definitions ("Dp") answers carry unless the job names its own.
umessage DefaultDefinitions();

// The messages of a payload: the job's "definitions", else
// DefaultDefinitions; the configured check settings, else the job's
// "settings", else DefaultCheckSettings.
JobMessages PayloadMessages(const JobMessages& fromJob, const std::optional<umessage>& checkSettings);

// What a real Veloxa adds to the job it hands over for export (the copy the
// plug-in keeps in a document carries none of it):
// - an active group: the first group when none is active (a job without
//   groups stays without);
// - the output file "FS": outputFolder/NAME (NAME from OutputName), to which
//   the plug-in appends ".pdf", and the page information file "PI":
//   outputFolder/NAME.pi;
// - when the job has no absolute page ranges, one range of 1 page from
//   page 1.
void CompleteForExport(BJobFile& job, const std::string& outputFolder);

// The output file's name for a job: the leaf of its document name (after the
// last "/" or "\") without its extension, else its jobId, else "job";
// characters that no file name on Windows may hold (control characters and
// < > : " / \ | ? *) become "_", and trailing dots and spaces are dropped.
// The document name "?" is the plug-in's word for a document that was never
// saved and counts as none, so that the exports of different unsaved jobs do
// not all go to "_.pdf", each replacing the one before.
std::string OutputName(const BJobFile& job);

// An answer's text: the payload's bytes as hexadecimal digits, two per byte,
// upper case, high nibble first, each digit one UTF-16LE character (so four
// bytes of text per byte of payload).
std::string AnswerText(std::string_view payload);
