// vxhost: the simulated illustration program. Loads a plug-in module, runs a
// script of user actions against it on one thread and writes a report of
// what the plug-in did. `vxhost --help` describes it all.
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "HostModel.h"
#include "HostReport.h"
#include "HostRunner.h"
#include "HostScript.h"
#include "platform/Platform.h"
#include "utils/utf.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char kHelp[] = R"(usage: vxhost [--host-version N] [--fast] [--report FILE] PLUGIN SCRIPT

Runs the plug-in module PLUGIN (a shared library exporting PluginMain) in a
simulated illustration program and plays SCRIPT against it. One thread does
everything: "SP Interface"/"Startup", the window messages of the host's main
window (class "illustrator") and of the plug-in's windows, timer ticks, menu
updates and picks, "SP Access"/"Unload" and "Reload", and finally
"SP Interface"/"Shutdown". The locale environment variables are left as they
are, so the plug-in sees the user's language. The plug-in finds its string
tables in the folder "Resources" beside this program.

options:
  --host-version N  the host's major version (AI Runtime Suite); default 28
  --fast            run the host clock 60 times faster: 60 ticks every 1/60 s
                    (3600 a second), so a timer with a period of 60 ticks fires
                    60 times a second instead of once
  --report FILE     write the report (JSON) to FILE at exit, also after a failure
  --help            this text

The host clock counts 60 ticks a second of wall-clock time (see --fast) and
runs only during `run` and `wait-answer`. A timer with period P fires
"AI Timer"/"AI Go" every P ticks while it is active. New timers are active.

script: one command a line; blank lines and lines starting with # are ignored.
The start-up message is sent just before the first command that is not `fail`,
so `fail` lines at the top reach start-up. The whole script is checked before
it runs.
  menu TEXT          pick the menu item with that text (as the plug-in passed it);
                     items that asked for updates get "AI Menu"/"AI Update" first;
                     fails if the item is missing, disabled or opens a submenu
  new W H [PATH]     a new document of W x H points (current from now on), with
                     one artboard from (0, 0) to (W, H), y growing upward; PATH
                     is its file (the rest of the line); without it the document
                     was never saved
  close              close the current document (fails if none is open)
  rect X Y W H [GREY]
                     printing art on the current document: a closed path of four
                     corners (X, Y), (X+W, Y), (X+W, Y+H), (X, Y+H) in points
                     (W and H above 0), filled with the grey level GREY from 0
                     (black) to 1 (white), default 0.5, not stroked; fails if no
                     document is open
  preview PATH       write the current document as a PDF 1.7 preview to PATH
                     (the rest of the line; relative to the current folder):
                     the page of artboard 0 with the printing art, as
                     "adobe_saveACopyAs" writes it, and every guide drawn
                     over it as a 1-point outline of its bounds: the trim
                     guide (tagged DA949A67-1B85-4922-B775-511D1A0504E6)
                     green, a guide around the trim (the bleed) blue, any
                     other (the type area) magenta; fails if no document is
                     open or the file cannot be written
  run SECONDS        run the message loop and the host clock that long
  wait-answer SECONDS
                     run until a timer tick takes a parked answer, or fail. An
                     answer is a message from another process that a plug-in
                     window handled with the result 1 since the previous
                     wait-answer (or the start), code 42609 excluded; the next
                     timer tick that reaches the plug-in takes the answer parked
                     last (a later answer replaces one not yet taken)
  ticks off|on       hold or release the timer ticks (answers still park)
  tick               one timer tick now: every active timer fires once
  minimise           minimise the host's main window
  front              another program's window comes to the front
  hang               the host's main window reports itself hung
  unload             send "SP Access"/"Unload"; unless the plug-in holds an
                     access reference, also unload the module. While unloaded
                     the plug-in gets no ticks and no menu picks
  reload             load the module again if it was unloaded, then send
                     "SP Access"/"Reload"
  fail OPERATION CODE
                     that host operation fails from now on with CODE (a decimal
                     number, or four characters such as S!Fd or 'S!Fd'; 0 lets it
                     succeed again). OPERATION is named as in the host's suite
                     tables (AddMenuItem, AddTimer, GetDocument, ...);
                     "AcquireSuite" fails every suite, "AcquireSuite:NAME" the
                     suite NAME, "PlayActionEvent:EVENT" one action;
                     "GetDictionary" fails the document's and the art's,
                     "GetDictionary:AI Document Suite" or "GetDictionary:AI Art
                     Suite" one of them. Every operation the suites offer can
                     be failed, the action manager's and the document list's
                     (New, Count, GetNthDocument) included
  quit               shut down now (the end of the script does the same)

actions: the host plays two actions and refuses any other (PARM).
  adobe_makeGuide    every selected path of the current document becomes a
                     guide (selection, lock and art dictionary unchanged);
                     DOC? without a document, SEL? when no path is selected
  adobe_saveACopyAs  writes the current document as a one-page PDF: the page
                     is artboard 0, the art every path that is not a guide
                     (guides do not print), bottom to top; a rect's fill as
                     given, art a plug-in made in the host's default style
                     (white fill, black 1-point stroke). Parameters read (the
                     last value of a key counts): 'name' (string, required)
                     the absolute path of the file; 'comp' (enumerated or
                     integer) 19 to 23 for PDF 1.3 to 1.7, absent: PDF 1.3.
                     A file is complete or not written at all: the copy goes
                     to a new file beside the path, renamed into place when
                     complete. Fails, writing nothing and leaving a file at
                     the path as it was: DOC? without a document; PARM when
                     'name' is missing, not a string or not absolute, or
                     'comp' is not 19 to 23; WRT! when the file cannot be
                     written (no such folder, a folder of that name) or the
                     art lies beyond what a PDF holds (a million points)

A run ends in an orderly shut-down, also after a failing command: menu items
that asked for updates are updated, notifiers of "AI Application Shutdown
Notifier" are notified, and "SP Interface"/"Shutdown" is sent.

report (JSON, one line, members in this order):
  version        the host's major version
  plugin         path, name (as the plug-in set it), loaded, started, unloaded
  menu           every item: key, group, text, options, enabled (after the
                 last update), submenu (the group it opens, or null), updates,
                 picks
  groups         every menu group: name, host (the host's own), parent (the
                 text of the item it opens from), options
  documents      every open document: path (or null), width, height, current,
                 modified, artboards ([left, top, right, bottom] each), guides
                 (points of each anchor in path order, locked, tags: the keys
                 of its art dictionary set to true), art (all art with type,
                 points, closed, selected, locked, guide, tags), dictionary
                 (binary entries as upper-case hex text, booleans as true or
                 false), job (the entry "Veloxa5SLUGData" read as the job
                 stored in a document, mask 2, and shown as `vxjob show`
                 prints a job; {"error": TEXT} when it does not read as a
                 job; null without the entry), profiles ([rgb, cmyk, gray],
                 each {size, digest} or null; null when never set), new (what the plug-in passed to
                 New: preset name, dialog status, title and the preset's
                 fields; null for a document of the script)
  actions        every played action: event, dialog, synced (SyncBeforeAction
                 since the previous action), params ({key, type, value} in the
                 order set; keys as four characters; enumerated values add
                 name), result (the host code)
  saves          every "adobe_saveACopyAs" in order: path (the 'name' given,
                 or null), written, version ("1.3" to "1.7", null when not
                 written), page ([width, height] in points, null when not
                 written), result (the host code), error (why nothing was
                 written, or null)
  front          for each bring-to-front request (answer 42609): hung (the
                 host was hung), restored (a restore command reached the main
                 window), already-front, activated, or none
  messages       every PluginMain call: caller, selector, result
  answers        every message from another process to a plug-in window:
                 code, size (bytes), result, taken (by a timer tick)
  suites         every acquisition and release in order: op, name, version,
                 result
  suite_counts   per suite: name, version, acquired, released
  timers         name, period, active, fired
  notifiers      name, type, notified
  alerts         the texts of MessageAlert
  contexts       pushed, popped
  live           objects the plug-in holds and has not given back
  calls          the number of calls of each host operation
  ticks          host ticks that passed
  error          null, or {line, command, message} of the failure

exit status: 0 the script ran through; 1 the run failed (the plug-in could not
be loaded or started, or a command failed: one line on standard error names the
script line); 2 usage error (bad arguments, unreadable or malformed script).
)";

int usage_error(const std::string& message) {
  std::cerr << "vxhost: " << message
            << "\nusage: vxhost [--host-version N] [--fast] [--report FILE] PLUGIN SCRIPT\n"
            << "'vxhost --help' describes the script and the report.\n";
  return kExitUsage;
}

bool read_file(const std::string& path, std::string* text) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  text->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return !file.bad();
}

// Writes the report if one was asked for; false when it could not be written.
bool write_report(const std::string& path, const vxsim::HostModel& host, const std::string& plugin,
                  const std::optional<vxsim::RunError>& error) {
  if (path.empty()) return true;
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << vxsim::report_json(host, plugin, error);
  file.close();
  if (!file) {
    std::cerr << "vxhost: cannot write the report " << path << "\n";
    return false;
  }
  return true;
}

std::string folder_of(const std::wstring& path) {
  std::string text;
  vxu::utf16_to_utf8(path.data(), path.size(), text);
  const std::size_t slash = text.rfind('/');
  return slash == std::string::npos ? text : text.substr(0, slash == 0 ? 1 : slash);
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<std::int32_t> version;
  bool fast = false;
  std::string report;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kHelp;
      return 0;
    }
    if (arg == "--fast") {
      fast = true;
    } else if (arg == "--host-version" || arg == "--report") {
      if (i + 1 >= argc) return usage_error(arg + " needs a value");
      const std::string value = argv[++i];
      if (arg == "--report") {
        report = value;
        continue;
      }
      char* end = nullptr;
      const long n = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || n < 1 || n > 1000) {
        return usage_error("--host-version needs a whole number from 1 to 1000");
      }
      version = static_cast<std::int32_t>(n);
    } else if (arg.size() > 1 && arg.front() == '-') {
      return usage_error("unknown option " + arg);
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 2) return usage_error("needs a PLUGIN and a SCRIPT");
  const std::string& plugin = positional[0];
  const std::string& script_path = positional[1];

  vxsim::HostModel host;
  if (version) host.set_major_version(*version);
  std::wstring where;
  if (vxp::Platform::Default().executable_path(&where)) {
    host.set_folder(ai::kFolder_Application, folder_of(where));
  }
  if (vxp::Platform::Default().temporary_directory(&where)) {
    std::string temporary;
    vxu::utf16_to_utf8(where.data(), where.size(), temporary);
    host.set_folder(ai::kFolder_Temporary, temporary);
  }

  std::string text;
  if (!read_file(script_path, &text)) return usage_error("cannot read the script " + script_path);
  std::vector<vxsim::ScriptCommand> script;
  vxsim::ScriptError bad;
  if (!vxsim::parse_script(text, &script, &bad)) {
    std::cerr << "vxhost: " << script_path << ":" << bad.line << ": " << bad.message << "\n";
    write_report(report, host, vxsim::absolute_plugin_path(plugin),
                 vxsim::RunError{bad.line, "", bad.message});
    return kExitUsage;
  }

  vxsim::RunnerOptions options;
  options.plugin_path = plugin;
  options.fast = fast;
  std::optional<vxsim::RunError> failure;
  {
    vxsim::HostRunner runner(host, options);
    std::string why;
    if (!runner.load(&why) || !host.open_main_window(&why)) {
      failure = vxsim::RunError{0, "", why};
      std::cerr << "vxhost: " << why << "\n";
    } else {
      failure = runner.run(script);
      if (failure) {
        std::cerr << "vxhost: " << script_path << ":" << failure->line << ": "
                  << (failure->command.empty() ? "end of script" : failure->command) << ": "
                  << failure->message << "\n";
      }
    }
    host.close_main_window();
    // Written while the module is still loaded, so that the report shows it.
    if (!write_report(report, host, vxsim::absolute_plugin_path(plugin), failure)) return kExitFailed;
  }
  return failure ? kExitFailed : 0;
}
