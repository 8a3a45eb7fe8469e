// Fuzz target of the answers Veloxa sends: a run of up to four answers, each
// sent to the plug-in's reply window as Veloxa sends it (hexadecimal
// UTF-16LE text, decoded by DecodeHexPayload) and routed on the next timer
// tick into the document operations (attach a job, new document from job
// details, export), against the simulated host's in-memory model.
//
// Input: repeated [selector] [length, 2 bytes little-endian] [payload]; the
// selector's low bits pick the answer's code, bit 2 opens an empty document
// before the answer, bit 3 closes the current document before it (and
// after the open). A length past the end takes the rest.
//
// Oracles: every answer is taken by the reply window; an answer is handled
// once (further ticks change nothing); a payload that does not read as a
// job changes nothing: no document, no action, no stored job, no request.
// The host model refuses stale or foreign handles; the sanitizers catch the
// rest.
//
// The plug-in reaches the OS through doubles: the pipe, processes and
// windows of the plug-in's tests, and a platform that allows changes to the
// file system only inside a private folder (paths come from the payload),
// refuses every environment variable and installs no signal hooks.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <vector>

#include "CSBoilerPlate/menuHandler_win32.h"
#include "DeskJob.h"
#include "HostModel.h"
#include "PluginMain.h"
#include "VXIllustrator.h"
#include "VeloxaLink.h"
#include "datastruct/BJobFile.h"
#include "datastruct/CheckSettingDefinitions.h"
#include "fake_services.h"
#include "platform/Platform.h"

namespace {

void check_at(bool condition, int line) {
  if (condition) return;
  std::fprintf(stderr, "routing_fuzz.cpp:%d: check failed\n", line);
  std::abort();
}
#define check(condition) check_at((condition), __LINE__)

class NullBuf : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// Changes to the file system only below folder; reads of regular files
// anywhere (a device or a pipe named in a payload could block).
class ConfinedPlatform : public vxp::PlatformWrapper {
 public:
  explicit ConfinedPlatform(std::wstring folder)
      : PlatformWrapper(vxp::native_platform()), folder_(std::move(folder)) {}

  bool environment_variable(const char*, std::string*) override { return false; }
  bool set_environment_variable(const char*, const char*) override { return false; }
  void install_exit_and_signal_hooks(void (*)(int)) override {}

  bool set_modification_time(const std::wstring& path, std::int64_t seconds) override {
    return inside(path) && PlatformWrapper::set_modification_time(path, seconds);
  }
  vxp::CreateDirectoryResult create_directory(const std::wstring& path, std::uint32_t* os_error) override {
    if (!inside(path)) return vxp::eCreateDirectory_Failed;
    return PlatformWrapper::create_directory(path, os_error);
  }
  bool move_path(const std::wstring& from, const std::wstring& to) override {
    return inside(from) && inside(to) && PlatformWrapper::move_path(from, to);
  }
  bool copy_file(const std::wstring& from, const std::wstring& to) override {
    return readable(from) && inside(to) && PlatformWrapper::copy_file(from, to);
  }
  bool reset_file_attributes(const std::wstring& path) override {
    return inside(path) && PlatformWrapper::reset_file_attributes(path);
  }
  bool delete_file(const std::wstring& path) override { return inside(path) && PlatformWrapper::delete_file(path); }
  bool remove_directory(const std::wstring& path) override {
    return inside(path) && PlatformWrapper::remove_directory(path);
  }
  bool recycle(const std::wstring& path) override { return inside(path) && PlatformWrapper::recycle(path); }
  std::FILE* open_file(const std::wstring& path, const char* mode) override {
    const bool reads_only = std::string(mode).find_first_of("wa+") == std::string::npos;
    if (reads_only ? !readable(path) : !inside(path)) return nullptr;
    return PlatformWrapper::open_file(path, mode);
  }
  bool open_filebuf(std::filebuf& buf, const std::wstring& path, std::ios::openmode mode) override {
    const bool reads_only = (mode & (std::ios::out | std::ios::app | std::ios::trunc)) == 0;
    if (reads_only ? !readable(path) : !inside(path)) return false;
    return PlatformWrapper::open_filebuf(buf, path, mode);
  }
  int open_temporary_file(const std::wstring& path, int* error_number) override {
    if (!inside(path)) return -1;
    return PlatformWrapper::open_temporary_file(path, error_number);
  }
  bool shell_folder(vxp::ShellFolder, std::wstring* out) override { return here(out); }
  bool color_directory(std::wstring* out) override { return here(out); }
  bool temporary_directory(std::wstring* out) override { return here(out); }

 private:
  bool inside(const std::wstring& path) const {
    return path.size() > folder_.size() && path.compare(0, folder_.size(), folder_) == 0 &&
           path[folder_.size()] == L'/' && path.find(L"..") == std::wstring::npos;
  }
  bool readable(const std::wstring& path) { return inside(path) || file_status(path).is_regular; }
  bool here(std::wstring* out) const {
    *out = folder_;
    return true;
  }

  std::wstring folder_;
};

struct Answer {
  std::uint64_t code;
  bool open_document;
  bool close_document;
  std::string payload;
};

std::vector<Answer> split(const std::uint8_t* data, std::size_t size) {
  static constexpr std::uint64_t kCodes[] = {vxlink::kAnswerAttachJob, vxlink::kAnswerNewDetails,
                                             vxlink::kAnswerExport, vxlink::kAnswerNewDetails};
  std::vector<Answer> answers;
  std::size_t i = 0;
  while (i < size && answers.size() < 4) {
    const std::uint8_t selector = data[i++];
    std::size_t length = 0;
    if (i < size) length = data[i++];
    if (i < size) length |= static_cast<std::size_t>(data[i++]) << 8;
    length = std::min(length, size - i);
    answers.push_back({kCodes[selector & 3], (selector & 4) != 0, (selector & 8) != 0,
                       std::string(reinterpret_cast<const char*>(data + i), length)});
    i += length;
  }
  return answers;
}

bool reads_as_job(const std::string& payload) {
  BJobFile job;
  std::istringstream in(payload);
  try {
    job.ReadJob(in, eJobFileContent_Full);
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

// What the answers can change.
struct Snapshot {
  std::size_t documents;
  std::size_t actions;
  std::size_t connections;
  std::vector<std::size_t> dictionary_sizes;
  bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot(const vxsim::HostModel& host, const vxtest::FakeLink& link) {
  Snapshot s{host.documents().size(), host.actions().size(), link.connections.size(), {}};
  for (const ai::DocumentData* document : host.documents()) s.dictionary_sizes.push_back(document->dictionary->size());
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static NullBuf* const null_buf = new NullBuf;
  // Never destroyed: the clean-up at exit still needs the name.
  static const std::string* const folder = [] {
    std::cerr.rdbuf(null_buf);
    auto* path = new std::string("/tmp/vxroute" + std::to_string(vxp::Platform::Default().current_process_id()));
    std::filesystem::remove_all(*path);
    std::filesystem::create_directories(*path);
    std::atexit([] {
      std::error_code error;
      std::filesystem::remove_all(*folder, error);
    });
    return path;
  }();
  static ConfinedPlatform platform(std::wstring(folder->begin(), folder->end()));

  const std::vector<Answer> answers = split(data, size);
  if (answers.empty()) return 0;

  // Fresh doubles each time: they record every call.
  vxtest::FakeProcesses processes;
  vxtest::FakeWindows windows;
  vxtest::FakeLink link;
  vxp::ScopedPlatform platform_scope(platform);
  vxp::ScopedService<vxp::ProcessService> processes_scope(processes);
  vxp::ScopedService<vxp::LinkService> link_scope(link);
  vxp::ScopedService<vxp::WindowSystem> windows_scope(windows);
  ResetSettingDefinitionsForTesting();
  ForgetVXIllustratorInit();
  {
    vxsim::HostModel host;
    host.attach(&PluginMain);
    // The model's save would write the PDF wherever the job says.
    host.set_action_effect("adobe_saveACopyAs", [](vxsim::HostModel&, const vxsim::PlayedAction&) {
      return ai::kNoErr;
    });
    check(host.startup() == 0);
    for (const Answer& answer : answers) {
      if (answer.open_document) host.new_document(500, 700, std::nullopt);
      if (answer.close_document) host.close_document();
      const Snapshot before = snapshot(host, link);

      std::string text = AnswerText(answer.payload);
      vxp::CopyData copy{answer.code, static_cast<std::uint32_t>(text.size()), text.data()};
      check(ReplyWindowProcedure(ReplyWindow(), vxp::kMessage_CopyData, 0, reinterpret_cast<std::int64_t>(&copy)) ==
            1);
      host.tick_now();
      const Snapshot after = snapshot(host, link);
      if (!reads_as_job(answer.payload)) check(after == before);
      host.tick_now();
      check(snapshot(host, link) == after);
    }
    host.shutdown();
  }
  DestroyReplyWindow();
  ForgetVXIllustratorInit();
  ResetSettingDefinitionsForTesting();
  return 0;
}
