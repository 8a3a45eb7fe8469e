// vxmsg: inspect and convert the system's messages.
//
//   vxmsg flatten [FILE]     JSON text -> flat form (version 4)
//   vxmsg unflatten [FILE]   flat form (versions 1 to 4) -> compact JSON
//   vxmsg json [FILE]        JSON text -> compact JSON
//   vxmsg dump [FILE]        key stream -> indented tree
//
// FILE defaults to standard input ("-" names it too). Exit status: 0 done,
// 1 input rejected (one line on standard error, nothing on standard output),
// 2 usage error.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "KeyStreamDump.h"
#include "platform/Platform.h"
#include "utils/umessage.h"

namespace {

constexpr int kExitRejected = 1;
constexpr int kExitUsage = 2;

struct Command {
  const char* name;
  const char* synopsis;
  const char* help;
  int (*run)(const std::string& input, std::ostream& out, std::string& error);
};

// Collects what the process log writes while a decoder runs, so that a
// rejection can be reported as one line of its own.
class LogCapture {
 public:
  LogCapture() : previous_(std::cerr.rdbuf(captured_.rdbuf())) {}
  ~LogCapture() { std::cerr.rdbuf(previous_); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // The text of the last record: what follows the bracketed fields.
  std::string last_message() const {
    std::string text = captured_.str();
    while (!text.empty() && text.back() == '\n') text.pop_back();
    const std::size_t line = text.rfind('\n');
    if (line != std::string::npos) text.erase(0, line + 1);
    const std::size_t fields = text.find("] ");
    return fields == std::string::npos ? text : text.substr(fields + 2);
  }

 private:
  std::ostringstream captured_;
  std::streambuf* previous_;
};

bool read_json(const std::string& input, umessage& record, std::string& error) {
  std::istringstream in(input);
  LogCapture log;
  if (record.read(in)) return true;
  error = log.last_message();
  if (error.empty()) error = "not a JSON text";
  return false;
}

int run_flatten(const std::string& input, std::ostream& out, std::string& error) {
  umessage record;
  if (!read_json(input, record, error)) return kExitRejected;
  record.flatten(out);
  return 0;
}

int run_unflatten(const std::string& input, std::ostream& out, std::string& error) {
  umessage record;
  std::istringstream in(input);
  {
    LogCapture log;
    if (!record.unflatten(in)) {
      error = log.last_message();
      if (error.empty()) error = "not a flat form (empty input or unsupported version)";
      return kExitRejected;
    }
  }
  record.write(out);
  out << '\n';
  return 0;
}

int run_json(const std::string& input, std::ostream& out, std::string& error) {
  umessage record;
  if (!read_json(input, record, error)) return kExitRejected;
  record.write(out);
  out << '\n';
  return 0;
}

// Keeps nothing of what is written to it.
class NullBuffer : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

int run_dump(const std::string& input, std::ostream& out, std::string& error) {
  // A dump can be refused part of the way through; it is walked once
  // without output first, so that a refused input writes nothing and an
  // accepted one is written as it is walked, not built in memory.
  try {
    NullBuffer nothing;
    std::ostream sink(&nothing);
    std::istringstream in(input);
    dump_key_stream(in, sink);
  } catch (const std::exception& e) {
    error = e.what();
    return kExitRejected;
  }
  std::istringstream in(input);
  dump_key_stream(in, out);
  return 0;
}

const Command kCommands[] = {
    {"flatten", "vxmsg flatten [FILE]",
     "Reads JSON text and writes the record's flat binary form (version 4).", run_flatten},
    {"unflatten", "vxmsg unflatten [FILE]",
     "Reads a flat binary form (versions 1 to 4) and writes the record as compact JSON and a line feed.",
     run_unflatten},
    {"json", "vxmsg json [FILE]", "Reads JSON text and writes it back as compact JSON and a line feed.", run_json},
    {"dump", "vxmsg dump [FILE]",
     "Prints a key stream (a job payload as raw bytes) as an indented tree, one field per line:\n"
     "key, type, length and value; records and arrays nested; user/binary fields that hold\n"
     "a flat-form record shown as that record's JSON.",
     run_dump},
};

void print_usage(std::ostream& out) {
  out << "usage: vxmsg <command> [FILE]\n\ncommands:\n";
  for (const Command& c : kCommands) out << "  " << c.synopsis << "\n";
  out << "\nFILE defaults to standard input. 'vxmsg <command> --help' describes a command.\n"
         "Exit status: 0 done, 1 input rejected, 2 usage error.\n";
}

bool read_input(const std::string& path, std::string& input) {
  if (path == "-") {
    input.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    return !std::cin.bad();
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  input.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return !file.bad();
}

}  // namespace

int main(int argc, char** argv) {
  vxp::Platform::Default().set_binary_mode(stdin);
  vxp::Platform::Default().set_binary_mode(stdout);
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    print_usage(std::cerr);
    return kExitUsage;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    print_usage(std::cout);
    return 0;
  }
  const Command* command = nullptr;
  for (const Command& c : kCommands) {
    if (args[0] == c.name) command = &c;
  }
  if (command == nullptr) {
    std::cerr << "vxmsg: unknown command '" << args[0] << "'\n";
    print_usage(std::cerr);
    return kExitUsage;
  }
  std::string path = "-";
  bool have_path = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--help" || args[i] == "-h") {
      std::cout << "usage: " << command->synopsis << "\n\n" << command->help << "\n";
      return 0;
    }
    if (args[i].size() > 1 && args[i][0] == '-') {
      std::cerr << "vxmsg: unknown option '" << args[i] << "'\nusage: " << command->synopsis << "\n";
      return kExitUsage;
    }
    if (have_path) {
      std::cerr << "vxmsg: one FILE at most\nusage: " << command->synopsis << "\n";
      return kExitUsage;
    }
    path = args[i];
    have_path = true;
  }
  std::string input;
  if (!read_input(path, input)) {
    std::cerr << "vxmsg: cannot read " << (path == "-" ? std::string("standard input") : path) << "\n";
    return kExitRejected;
  }
  // Every command decides on its input before it writes, so a rejected
  // input writes nothing; the result goes straight to standard output.
  std::string error;
  const int status = command->run(input, std::cout, error);
  if (status != 0) {
    std::cerr << "vxmsg: " << error << "\n";
    return status;
  }
  std::cout.flush();
  return std::cout ? 0 : kExitRejected;
}
