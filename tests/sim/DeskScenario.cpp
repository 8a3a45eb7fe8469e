#include "DeskScenario.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>

#include "PipeName.h"
#include "VeloxaLink.h"
#include "platform/Link.h"
#include "platform/Platform.h"

namespace vxdesktest {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr char kClass[] = "VXDeskTestWnd";
// The pipe's user: fixed, so that nothing of the machine's user leaks in.
constexpr char kUser[] = "vxdesk-test";

std::mutex received_mutex;
std::vector<Received> received;
std::int64_t window_result = 1;

std::int64_t recording_procedure(vxp::WindowHandle window, std::uint32_t message, std::uint64_t wparam,
                                 std::int64_t lparam) {
  if (message != vxp::kMessage_CopyData)
    return vxp::WindowSystem::Default().default_procedure(window, message, wparam, lparam);
  const auto* data = reinterpret_cast<const vxp::CopyData*>(lparam);
  std::lock_guard<std::mutex> lock(received_mutex);
  received.push_back(
      Received{window, wparam, data->code, std::string(static_cast<const char*>(data->data), data->size)});
  return window_result;
}

bool wait_until(const std::function<bool()>& done, std::uint32_t timeout_ms) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (Clock::now() >= deadline) return false;
    vxp::ProcessService::Default().sleep_ms(10);
  }
  return true;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

void DeskScenario::SetUp() {
  std::string pattern = "/tmp/vxd-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr) << "cannot make a temporary folder";
  folder_ = pattern;
  runtime_ = folder_ + "/r";
  ASSERT_TRUE(fs::create_directory(runtime_));
  fs::permissions(runtime_, fs::perms::owner_all, fs::perm_options::replace);

  // The test's windows and the vxdesk it starts share R; the children
  // inherit the variables.
  vxp::Platform& platform = vxp::Platform::Default();
  const std::pair<const char*, std::string> variables[] = {
      {"VX_RUNTIME_DIR", runtime_}, {"VX_REGISTRY_DIR", folder_ + "/registry"}, {"USERNAME", kUser}};
  for (const auto& [name, value] : variables) {
    std::string old;
    saved_environment_.emplace_back(
        name, platform.environment_variable(name, &old) ? std::optional<std::string>(old) : std::nullopt);
    platform.set_environment_variable(name, value.c_str());
  }
  {
    std::lock_guard<std::mutex> lock(received_mutex);
    received.clear();
    window_result = 1;
  }
  vxp::WindowSystem& windows = vxp::WindowSystem::Default();
  if (!windows.is_class_registered(kClass)) {
    ASSERT_TRUE(windows.register_class(kClass, recording_procedure));
  }
  window_ = MakeWindow();
  ASSERT_NE(window_, 0u);
}

void DeskScenario::TearDown() {
  int code = 0;
  if (host_ != nullptr) {
    if (!host_->wait(0, &code)) host_->kill();
    host_.reset();
  }
  if (desk_ != nullptr) {
    if (!desk_->wait(0, &code)) {
      RunDesk({"stop"});
      if (!desk_->wait(2000, &code)) desk_->kill();
    }
    desk_.reset();
  }
  // A vxdesk the plug-in launched is no child of the test: `stop` ends it.
  std::error_code ec;
  if (!runtime_.empty() && fs::exists(InRuntime("vxdesk.pid"), ec)) {
    const RunResult stop = RunDesk({"stop"});
    EXPECT_EQ(stop.exit_code, 0) << "a launched vxdesk did not stop: " << stop.err;
  }
  vxp::WindowSystem& windows = vxp::WindowSystem::Default();
  for (const vxp::WindowHandle window : windows_) windows.destroy_window(window);
  windows.unregister_class(kClass);
  vxp::Platform& platform = vxp::Platform::Default();
  for (auto it = saved_environment_.rbegin(); it != saved_environment_.rend(); ++it)
    platform.set_environment_variable(it->first.c_str(), it->second ? it->second->c_str() : nullptr);
  if (!folder_.empty()) {
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }
}

void DeskScenario::StartDesk(const std::vector<std::string>& args, bool wait_until_serving,
                             const std::vector<std::string>& environment) {
  std::vector<std::string> argv{VXDESK};
  argv.insert(argv.end(), args.begin(), args.end());
  vxp::SpawnOptions options;
  options.stdout_file = InFolder("desk.out");
  options.stderr_file = InFolder("desk.err");
  options.environment = environment;
  std::string error;
  // The log goes on from earlier runs: only what this one adds counts.
  const std::size_t logged = Log().size();
  desk_ = vxp::ProcessService::Default().spawn(VXDESK, argv, options, &error);
  ASSERT_NE(desk_, nullptr) << error;
  if (wait_until_serving) {
    ASSERT_TRUE(wait_until([&] { return Log().find("serving ", logged) != std::string::npos; }, kPatienceMs))
        << Log();
  }
}

bool DeskScenario::DeskEnds(int* exit_code, std::uint32_t timeout_ms) {
  return desk_ != nullptr && desk_->wait(timeout_ms, exit_code);
}

RunResult DeskScenario::RunDesk(const std::vector<std::string>& args) {
  std::vector<std::string> argv{VXDESK};
  argv.insert(argv.end(), args.begin(), args.end());
  vxp::SpawnOptions options;
  options.stdout_file = InFolder("run.out");
  options.stderr_file = InFolder("run.err");
  std::string error;
  std::unique_ptr<vxp::ChildProcess> child =
      vxp::ProcessService::Default().spawn(VXDESK, argv, options, &error);
  RunResult result;
  if (child == nullptr) {
    ADD_FAILURE() << error;
    return result;
  }
  int code = -1;
  if (!PumpUntil([&] { return child->wait(0, &code); })) {
    child->kill();
    ADD_FAILURE() << "vxdesk did not end";
  }
  result.exit_code = code;
  result.out = FileText(options.stdout_file);
  result.err = FileText(options.stderr_file);
  return result;
}

void DeskScenario::StartHost(const std::string& script, const std::vector<std::string>& environment) {
  ASSERT_EQ(host_, nullptr) << "one vxhost at a time";
  const std::string script_file = WriteFile("host.vxs", script);
  fs::remove(InFolder("host.json"));
  std::vector<std::string> argv{VXHOST, "--fast", "--report", InFolder("host.json")};
  argv.insert(argv.end(), host_options_.begin(), host_options_.end());
  argv.insert(argv.end(), {VXPLUGIN, script_file});
  vxp::SpawnOptions options;
  options.stdout_file = InFolder("host.out");
  options.stderr_file = InFolder("host.err");
  options.environment = environment;
  std::string error;
  host_ = vxp::ProcessService::Default().spawn(VXHOST, argv, options, &error);
  ASSERT_NE(host_, nullptr) << error;
}

HostRun DeskScenario::FinishHost() {
  HostRun run;
  if (host_ == nullptr) {
    ADD_FAILURE() << "no vxhost was started";
    return run;
  }
  if (!PumpUntil([&] { return host_->wait(0, &run.exit_code); })) {
    host_->kill();
    ADD_FAILURE() << "vxhost did not end";
  }
  host_.reset();
  run.err = FileText(InFolder("host.err"));
  run.report = FileText(InFolder("host.json"));
  return run;
}

std::string DeskScenario::RegisterDeskCopy() {
  const std::string copy = InFolder("vxdesk");
  std::error_code ec;
  fs::copy_file(VXDESK, copy, fs::copy_options::overwrite_existing, ec);
  if (ec) {
    ADD_FAILURE() << "cannot copy vxdesk: " << ec.message();
    return "";
  }
  if (!vxp::LinkService::Default().write_registry_text(vxp::eRegistryHive_CurrentUser,
                                                       vxlink::kApplicationKey, "", copy)) {
    ADD_FAILURE() << "cannot register " << copy;
    return "";
  }
  return copy;
}

std::vector<std::string> DeskScenario::Record() const {
  std::vector<std::string> lines;
  std::istringstream in(FileText(InRuntime("vxdesk-record.jsonl")));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool DeskScenario::RecordHolds(std::size_t n, std::uint32_t timeout_ms) {
  return PumpUntil([&] { return Record().size() >= n; }, timeout_ms);
}

bool DeskScenario::SendToPipe(const std::string& bytes) {
  vxp::PipeError error = vxp::ePipeError_None;
  std::unique_ptr<vxp::PipeConnection> pipe;
  // Connections beyond the server's queue are busy until it takes some.
  wait_until(
      [&] {
        pipe = vxp::LinkService::Default().open_pipe(vxlink::PipeName(), &error);
        return pipe != nullptr || error != vxp::ePipeError_Busy;
      },
      kPatienceMs);
  if (pipe == nullptr) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    std::size_t written = 0;
    if (!pipe->write(bytes.data() + done, bytes.size() - done, &written) || written == 0) return false;
    done += written;
  }
  return true;
}

std::string DeskScenario::Request(const char* what, vxp::WindowHandle window,
                                  const std::string& extra) const {
  return "{" + extra + R"("hwnd":")" + std::to_string(window) + R"(","sender":"IllustratorCS","what":")" +
         what + "\"}";
}

bool DeskScenario::PumpUntil(const std::function<bool()>& done, std::uint32_t timeout_ms) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (Clock::now() >= deadline) return false;
    vxp::WindowSystem::Default().pump_messages(10);
  }
  return true;
}

bool DeskScenario::LogSays(const std::string& text, std::uint32_t timeout_ms) {
  return wait_until([&] { return Log().find(text) != std::string::npos; }, timeout_ms);
}

std::string DeskScenario::Log() const { return FileText(InRuntime("vxdesk.log")); }

vxp::WindowHandle DeskScenario::MakeWindow() {
  const vxp::WindowHandle window = vxp::WindowSystem::Default().create_window(kClass, kClass, false);
  if (window != 0) windows_.push_back(window);
  return window;
}

void DeskScenario::SetWindowResult(std::int64_t result) {
  std::lock_guard<std::mutex> lock(received_mutex);
  window_result = result;
}

std::vector<Received> DeskScenario::Answers() {
  std::lock_guard<std::mutex> lock(received_mutex);
  return received;
}

std::string DeskScenario::WriteFile(const std::string& name, const std::string& content) const {
  const std::string path = InFolder(name);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
  return path;
}

bool DecodeAnswerText(const std::string& text, std::string* bytes) {
  if (text.size() % 4 != 0) return false;
  bytes->clear();
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const int high = hex_value(text[i]);
    const int low = hex_value(text[i + 2]);
    if (high < 0 || low < 0 || text[i + 1] != '\0' || text[i + 3] != '\0') return false;
    bytes->push_back(static_cast<char>(high * 16 + low));
  }
  return true;
}

bool ReadAnswerJob(const std::string& text, BJobFile* job) {
  std::string bytes;
  if (!DecodeAnswerText(text, &bytes)) {
    ADD_FAILURE() << "not upper-case hexadecimal UTF-16LE text";
    return false;
  }
  std::istringstream in(bytes);
  try {
    job->ReadJob(in, eJobFileContent_Full);
  } catch (const std::exception& e) {
    ADD_FAILURE() << "the answer's job cannot be read: " << e.what();
    return false;
  }
  return true;
}

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::size_t Occurrences(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

}  // namespace vxdesktest
