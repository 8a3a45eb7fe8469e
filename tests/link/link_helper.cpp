// A small program the link tests start, to see what a started program gets.
//
//   link_helper                  writes a report (below) into
//                                $VX_LINK_HELPER_DIR/report, if that is set
//   link_helper report           writes the report to standard output
//   link_helper echo ARGS...     writes each argument on a line
//   link_helper env NAMES...     writes NAME=VALUE, or NAME unset, per line
//   link_helper cat              copies standard input to standard output
//   link_helper exit N           writes "leaving" to standard error, exits N
//   link_helper sleep            sleeps a minute (tests end it sooner)
//   link_helper serve NAME FILE  serves the pipe NAME, creates FILE once it
//                                does, then sleeps a minute
//
// The report has one "key=value" line each for argc, argv0, ppid, session,
// fd0, fd1, fd2 (where the standard streams lead) and extra (the other
// open descriptors as "N:target" separated by spaces; empty when none).
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/Link.h"

namespace fs = std::filesystem;

namespace {

// Fields of /proc/self/stat after the command name: state, ppid, pgrp,
// session, ...
std::string stat_field(int index) {
  std::ifstream in("/proc/self/stat");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  std::istringstream rest(text.substr(text.rfind(')') + 1));
  std::string field;
  for (int i = 0; i <= index; ++i) rest >> field;
  return field;
}

std::string report(int argc, char** argv) {
  std::ostringstream out;
  out << "argc=" << argc << "\nargv0=" << argv[0] << "\nppid=" << stat_field(1)
      << "\nsession=" << stat_field(3) << "\n";
  std::string extra;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    const std::string fd = entry.path().filename().string();
    std::error_code ec;
    const std::string target = fs::read_symlink(entry.path(), ec).string();
    if (fd == "0" || fd == "1" || fd == "2") {
      out << "fd" << fd << "=" << target << "\n";
    } else if (target.rfind("/proc/", 0) != 0) {  // not the listing itself
      extra += (extra.empty() ? "" : " ") + fd + ":" + target;
    }
  }
  out << "extra=" << extra << "\n";
  return out.str();
}

void sleep_a_minute() { std::this_thread::sleep_for(std::chrono::seconds(60)); }

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode.empty()) {
    const char* folder = std::getenv("VX_LINK_HELPER_DIR");
    if (folder == nullptr) return 2;
    // Written under another name first: the test waits for the whole file.
    const fs::path final_path = fs::path(folder) / "report";
    const fs::path partial = fs::path(folder) / "report.partial";
    const std::string text = report(argc, argv);  // before the file opens, or it is in the report
    std::ofstream(partial) << text;
    fs::rename(partial, final_path);
    return 0;
  }
  if (mode == "report") {
    std::cout << report(argc, argv);
  } else if (mode == "echo") {
    for (int i = 2; i < argc; ++i) std::cout << argv[i] << "\n";
  } else if (mode == "env") {
    for (int i = 2; i < argc; ++i) {
      const char* value = std::getenv(argv[i]);
      std::cout << argv[i] << (value ? std::string("=") + value : std::string(" unset")) << "\n";
    }
  } else if (mode == "cat") {
    std::cout << std::cin.rdbuf();
  } else if (mode == "exit" && argc > 2) {
    std::cerr << "leaving\n";
    return std::atoi(argv[2]);
  } else if (mode == "sleep") {
    sleep_a_minute();
  } else if (mode == "serve" && argc > 3) {
    vxp::PipeError error;
    auto server = vxp::LinkService::Default().serve_pipe(argv[2], vxp::ePipeServe_Accept, &error);
    if (!server) return 3;
    std::ofstream(argv[3]) << "ready\n";
    sleep_a_minute();
  } else {
    return 2;
  }
  return 0;
}
