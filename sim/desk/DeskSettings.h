// The settings of one vxdesk, and the command-line options that set them.
//
// A vxdesk that the plug-in starts gets no arguments, so its settings live in
// a file of the runtime folder R (R/vxdesk.json), written by a test or by
// `vxdesk --config [options]`. A JSON object; every member is optional:
//
//   "startLateMs"      integer  wait this long before serving the pipe (0)
//   "stopAfter"        integer  end after this many messages (0: never)
//   "refuse"           boolean  hold the pipe's name but refuse connections
//   "endAfterSeconds"  integer  end after this long whatever happens (0: never)
//   "job"              text     a job file (JSON as `vxjob make` reads it),
//                      object   or the job itself   (default: the built-in job)
//   "outputFolder"     text     where export answers put the PDF (R/out)
//   "recordFile"       text     the record of received messages
//                               (R/vxdesk-record.jsonl)
//   "checkSettings"    object   the check settings ("SR") answers carry
//                               (default: the job file's "settings", else a
//                               setting that requires PDF 1.4)
//   "answerTimeoutMs"  integer  how long an answer waits for the window (5000)
//
// Relative paths in the file are taken from R. A member that is unknown or of
// the wrong kind is an error, so that a typing mistake is never silently a
// default.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "utils/umessage.h"

// Names of the files vxdesk keeps in R.
inline constexpr char kDeskSettingsFile[] = "vxdesk.json";
inline constexpr char kDeskLogFile[] = "vxdesk.log";
inline constexpr char kDeskPidFile[] = "vxdesk.pid";
inline constexpr char kDeskStopFile[] = "vxdesk.stop";
inline constexpr char kDeskRecordFile[] = "vxdesk-record.jsonl";
inline constexpr char kDeskOutputFolder[] = "out";

struct DeskSettings {
  std::uint32_t startLateMs = 0;
  std::uint64_t stopAfter = 0;
  bool refuse = false;
  std::uint32_t endAfterSeconds = 0;
  // The job as JSON (vxjob make's members, "settings" and "definitions"
  // included), and where it came from ("built-in" or the file's path).
  umessage job;
  std::string jobSource;
  std::string outputFolder;  // absolute
  std::string recordFile;    // absolute
  std::optional<umessage> checkSettings;
  std::uint32_t answerTimeoutMs = 5000;
};

// The longest wait the numbers may ask for: a day.
inline constexpr std::uint32_t kMaxDeskWaitMs = 24u * 3600u * 1000u;

// Reads the settings from a JSON object (the settings file with the command
// line's options laid over it) for runtime folder R. False with a message
// naming the member in *error when a member is unknown or of the wrong kind,
// or the job cannot be read. Reading a job file or an inline job validates
// it (job_from_json) so that a bad job shows at once, not at the first answer.
bool ReadDeskSettings(const umessage& m, const std::string& runtime, DeskSettings* settings,
                      std::string* error);

// Reads a JSON object from a file. False with a reason in *error.
bool ReadJsonFile(const std::string& path, umessage* m, std::string* error);

// The command line of a person: options (above, as --start-late MS,
// --stop-after N, --refuse, --end-after SECONDS, --job FILE, --out DIR,
// --record FILE, --checks FILE, --answer-timeout MS) become the members of
// *options; paths are made absolute from the current folder, a --checks file
// is read into "checkSettings". Everything else that is not an option goes
// to *words in order ("--help" and "--config" are words too). False with a
// reason in *error for an unknown option, a missing or bad value.
bool ParseDeskOptions(const std::vector<std::string>& args, umessage* options,
                      std::vector<std::string>* words, std::string* error);

// The settings file with options laid over it, member by member.
umessage OverlaySettings(umessage file, const umessage& options);
