// A log file beside a logger's own stream: every line the logger writes is
// also appended to the file (LoggerBase::set_copy_stream).
//
// Meant for a process whose standard error goes nowhere (a plug-in inside a
// host application), so that a support engineer can read what it logged.
#pragma once

#include "utils/Logger.h"
#include "utils/ustring.h"

namespace vxu {

// Opens the file at path for appending (created when missing; a relative
// path is taken from the current folder) and makes it logger's copy stream.
// Asking again for the file already in use changes nothing. False, with the
// logger's copy stream as it was, when the file cannot be opened.
//
// The file stays open for the life of the process: a logger may log from
// static destructors, so nothing here is ever closed or destroyed. A file
// replaced by another stays open too (not written any more).
bool append_log_file(LoggerBase& logger, const ustring& path);

// The path of the file append_log_file last opened for logger ("" when none).
ustring log_file_path(const LoggerBase& logger);

}  // namespace vxu
