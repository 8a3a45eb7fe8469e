// The process service: the process list, starting programs, modules and the
// user's language. Programs started here are the test helper link_helper.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "link_test_support.h"
#include "platform/Link.h"
#include "platform/Platform.h"
#include "platform/Process.h"

namespace {

namespace fs = std::filesystem;
using vxlinktest::ScopedEnvironment;
using vxlinktest::TempFolder;

const std::string kHelper = VX_LINK_HELPER;

vxp::ProcessService& processes() { return vxp::ProcessService::Default(); }
std::string own_pid() { return std::to_string(vxp::Platform::Default().current_process_id()); }

// "key=value" lines of the helper's report.
std::string report_value(const std::string& report, const std::string& key) {
  std::istringstream lines(report);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
  }
  return "(missing)";
}

// Field of /proc/PID/stat after the command name (0: state, 1: parent, 3:
// session).
std::string stat_field(const std::string& pid, int index) {
  const std::string text = vxlinktest::read_file("/proc/" + pid + "/stat");
  std::istringstream rest(text.substr(text.rfind(')') + 1));
  std::string field;
  for (int i = 0; i <= index; ++i) rest >> field;
  return field;
}

// Children of this process that ended and were never reaped.
std::vector<std::string> own_zombies() {
  std::vector<std::string> zombies;
  const std::string self = own_pid();
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string pid = entry.path().filename().string();
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    if (stat_field(pid, 1) == self && stat_field(pid, 0) == "Z") zombies.push_back(pid);
  }
  return zombies;
}

// --- Process list -----------------------------------------------------------

TEST(ProcessListTest, FindsThisTestProgramAndStopsWhenAsked) {
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  int visited = 0;
  bool found = false;
  ASSERT_TRUE(processes().scan_processes([&](const std::string& image) {
    ++visited;
    found = found || image == self;
    return false;
  }));
  EXPECT_TRUE(found) << self;
  EXPECT_GE(visited, 1);

  int visited_until_stop = 0;
  ASSERT_TRUE(processes().scan_processes([&](const std::string&) {
    ++visited_until_stop;
    return true;
  }));
  EXPECT_EQ(visited_until_stop, 1);
}

TEST(ProcessListTest, ImageNamesKeepTheirCase) {
  // A copy of the helper under a mixed-case name, running.
  TempFolder temp;
  const std::string copy = temp / "Veloxa6.Helper";
  fs::copy_file(kHelper, copy);
  std::string error;
  auto child = processes().spawn(copy, {copy, "sleep"}, {}, &error);
  ASSERT_TRUE(child) << error;
  bool found = false;
  for (int attempt = 0; attempt < 500 && !found; ++attempt) {
    // The new program's image is the copy once it has called exec.
    processes().scan_processes([&](const std::string& image) { return found = image == copy; });
    if (!found) processes().sleep_ms(10);
  }
  child->kill();
  EXPECT_TRUE(found);
}

// --- Detached programs ------------------------------------------------------

TEST(LaunchDetachedTest, StartsTheProgramAloneAndLeavesNoZombie) {
  TempFolder temp;
  ScopedEnvironment env;
  env.set("VX_LINK_HELPER_DIR", temp.path().c_str());
  // Descriptors the host holds must not reach the program: an inheritable
  // file and a listening socket.
  std::FILE* held = std::fopen((temp / "held").c_str(), "w");
  ASSERT_NE(held, nullptr);
  env.set("VX_RUNTIME_DIR", (temp / "r").c_str());
  vxp::PipeError pipe_error;
  auto server =
      vxp::LinkService::Default().serve_pipe("\\\\.\\pipe\\held", vxp::ePipeServe_Accept, &pipe_error);
  ASSERT_TRUE(server);

  const bool launched = processes().launch_detached(kHelper);
  std::fclose(held);
  ASSERT_TRUE(launched);
  ASSERT_TRUE(vxlinktest::wait_for_file(temp / "report"));
  const std::string report = vxlinktest::read_file(temp / "report");
  EXPECT_EQ(report_value(report, "argc"), "1");
  EXPECT_EQ(report_value(report, "argv0"), kHelper);
  EXPECT_EQ(report_value(report, "fd0"), "/dev/null");
  EXPECT_EQ(report_value(report, "fd1"), "/dev/null");
  EXPECT_EQ(report_value(report, "fd2"), "/dev/null");
  EXPECT_EQ(report_value(report, "extra"), "");
  EXPECT_NE(report_value(report, "ppid"), own_pid());
  EXPECT_NE(report_value(report, "session"), stat_field("self", 3));
  EXPECT_EQ(own_zombies(), std::vector<std::string>{});
}

TEST(LaunchDetachedTest, ProgramThatCannotRunIsFalse) {
  TempFolder temp;
  vxlinktest::write_file(temp / "not-executable", "#!/bin/sh\n");
  fs::permissions(temp / "not-executable", fs::perms::owner_read | fs::perms::owner_write);
  vxlinktest::write_file(temp / "not-a-program", "just text\n");
  fs::permissions(temp / "not-a-program", fs::perms::owner_all);
  const std::string cases[] = {temp / "missing", temp.path(), temp / "not-executable", temp / "not-a-program",
                               ""};
  for (const std::string& path : cases) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(processes().launch_detached(path));
  }
  EXPECT_EQ(own_zombies(), std::vector<std::string>{});
}

// --- Spawned programs -------------------------------------------------------

class SpawnTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(temp_.path().empty()); }

  // Runs the helper to its end; its exit code, or -1000 when it could not
  // start or did not end.
  int run(const std::vector<std::string>& args, const vxp::SpawnOptions& options) {
    std::vector<std::string> argv = {kHelper};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string error;
    auto child = processes().spawn(kHelper, argv, options, &error);
    EXPECT_TRUE(child) << error;
    if (!child) return -1000;
    int code = -1000;
    if (!child->wait(20000, &code)) child->kill();
    return code;
  }

  TempFolder temp_;
};

TEST_F(SpawnTest, ArgumentsAndOutputFiles) {
  vxp::SpawnOptions options;
  options.stdout_file = temp_ / "out";
  options.stderr_file = temp_ / "err";
  vxlinktest::write_file(options.stdout_file, "old content that must go\n");
  EXPECT_EQ(run({"echo", "one", "two words", "", "\"quoted\" $HOME *"}, options), 0);
  EXPECT_EQ(vxlinktest::read_file(options.stdout_file), "one\ntwo words\n\n\"quoted\" $HOME *\n");
  EXPECT_EQ(vxlinktest::read_file(options.stderr_file), "");

  EXPECT_EQ(run({"exit", "0"}, options), 0);
  EXPECT_EQ(vxlinktest::read_file(options.stderr_file), "leaving\n");
}

TEST_F(SpawnTest, StandardInputFromAFile) {
  vxp::SpawnOptions options;
  options.stdin_file = temp_ / "in";
  options.stdout_file = temp_ / "out";
  const std::string bytes("line\n\0\xFF end", 11);
  vxlinktest::write_file(options.stdin_file, bytes);
  EXPECT_EQ(run({"cat"}, options), 0);
  EXPECT_EQ(vxlinktest::read_file(options.stdout_file), bytes);
}

TEST_F(SpawnTest, StreamsDefaultToTheNullDevice) {
  vxp::SpawnOptions options;
  options.stdout_file = temp_ / "out";
  ASSERT_EQ(run({"report"}, options), 0);
  const std::string report = vxlinktest::read_file(options.stdout_file);
  EXPECT_EQ(report_value(report, "fd0"), "/dev/null");
  EXPECT_EQ(report_value(report, "fd1"), options.stdout_file);
  EXPECT_EQ(report_value(report, "fd2"), "/dev/null");
}

TEST_F(SpawnTest, ExitCodes) {
  for (const int code : {0, 1, 3, 255}) {
    SCOPED_TRACE(code);
    EXPECT_EQ(run({"exit", std::to_string(code)}, {}), code);
  }
}

TEST_F(SpawnTest, EnvironmentChangesReachOnlyTheChild) {
  ScopedEnvironment env;
  env.set("VX_LINK_KEPT", "kept");
  env.set("VX_LINK_DROPPED", "dropped");
  env.set("VX_LINK_CHANGED", "before");
  env.set("VX_LINK_ADDED", nullptr);
  vxp::SpawnOptions options;
  options.stdout_file = temp_ / "out";
  options.environment = {"VX_LINK_ADDED=a=b c", "VX_LINK_DROPPED", "VX_LINK_CHANGED=after",
                         "VX_LINK_NEVER_SET"};
  EXPECT_EQ(
      run({"env", "VX_LINK_KEPT", "VX_LINK_DROPPED", "VX_LINK_CHANGED", "VX_LINK_ADDED", "VX_LINK_NEVER_SET"},
          options),
      0);
  EXPECT_EQ(vxlinktest::read_file(options.stdout_file),
            "VX_LINK_KEPT=kept\n"
            "VX_LINK_DROPPED unset\n"
            "VX_LINK_CHANGED=after\n"
            "VX_LINK_ADDED=a=b c\n"
            "VX_LINK_NEVER_SET unset\n");
  std::string value;
  EXPECT_FALSE(vxp::Platform::Default().environment_variable("VX_LINK_ADDED", &value));
  EXPECT_TRUE(vxp::Platform::Default().environment_variable("VX_LINK_DROPPED", &value));
  EXPECT_EQ(value, "dropped");
}

TEST_F(SpawnTest, NoDescriptorsInheritedBeyondTheStandardStreams) {
  std::FILE* held = std::fopen((temp_ / "held").c_str(), "w");  // inheritable
  ASSERT_NE(held, nullptr);
  vxp::SpawnOptions options;
  options.stdout_file = temp_ / "out";
  const int code = run({"report"}, options);
  std::fclose(held);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(report_value(vxlinktest::read_file(options.stdout_file), "extra"), "");
}

TEST_F(SpawnTest, WaitTimesOutThenKillEndsAndReaps) {
  std::string error;
  auto child = processes().spawn(kHelper, {kHelper, "sleep"}, {}, &error);
  ASSERT_TRUE(child) << error;
  EXPECT_GT(child->id(), 0u);
  int code = -1;
  EXPECT_FALSE(child->wait(50, &code));
  EXPECT_FALSE(child->wait(0, &code));
  EXPECT_EQ(code, -1);
  child->kill();
  EXPECT_TRUE(child->wait(0, &code));
  EXPECT_EQ(code, 128 + 9);
  child->kill();  // ended already: nothing happens
  EXPECT_TRUE(child->wait(0, &code));
  EXPECT_EQ(code, 128 + 9);
  EXPECT_EQ(own_zombies(), std::vector<std::string>{});
}

TEST_F(SpawnTest, FailuresGiveTheReason) {
  static const struct {
    const char* what;
    std::string path;
    std::vector<std::string> environment;
    std::string stdout_file;
  } cases[] = {
      {"missing program", "/nonexistent/program", {}, ""},
      {"environment change without name", VX_LINK_HELPER, {"=value"}, ""},
      {"output into a missing folder", VX_LINK_HELPER, {}, "/nonexistent/folder/out"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    vxp::SpawnOptions options;
    options.environment = c.environment;
    options.stdout_file = c.stdout_file;
    std::string error;
    EXPECT_FALSE(processes().spawn(c.path, {c.path, "exit", "0"}, options, &error));
    EXPECT_FALSE(error.empty());
  }
  EXPECT_EQ(own_zombies(), std::vector<std::string>{});
}

// --- Modules ----------------------------------------------------------------

TEST(LoadModuleTest, SymbolsOfALoadedModule) {
  std::string error;
  auto module = processes().load_module(VX_LINK_MODULE, &error);
  ASSERT_TRUE(module) << error;
  using Answer = int (*)();
  const auto answer = reinterpret_cast<Answer>(module->symbol("vx_link_module_answer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  EXPECT_EQ(module->symbol("vx_link_module_missing"), nullptr);
}

TEST(LoadModuleTest, MissingOrBrokenModuleGivesTheReason) {
  TempFolder temp;
  vxlinktest::write_file(temp / "broken.so", "not a shared library");
  for (const std::string& path : {temp / "missing.so", temp / "broken.so"}) {
    SCOPED_TRACE(path);
    std::string error;
    EXPECT_FALSE(processes().load_module(path, &error));
    EXPECT_NE(error.find(path), std::string::npos) << error;
  }
}

// --- Language ---------------------------------------------------------------

TEST(UserLocaleTest, FromTheLocaleVariables) {
  static const struct {
    const char* lc_all;  // null: not set
    const char* lc_messages;
    const char* lang;
    const char* language;
    int sublanguage;
  } cases[] = {
      {nullptr, nullptr, "en_US.UTF-8", "en", 1},
      {nullptr, nullptr, "en_GB.UTF-8", "en", 2},
      {nullptr, nullptr, "en", "en", 1},
      {nullptr, nullptr, "de_DE.UTF-8@euro", "de", 1},
      {nullptr, nullptr, "de_AT", "de", 2},
      {nullptr, nullptr, "zh_TW.Big5", "zh", 2},
      {nullptr, nullptr, "zh_CN.GB18030", "zh", 1},
      {nullptr, nullptr, "it_IT", "it", 1},
      {nullptr, nullptr, "ja_JP.eucJP", "ja", 1},
      {nullptr, nullptr, "pt_BR", "pt", 2},
      {nullptr, nullptr, "sv_SE", "sv", 1},
      {nullptr, nullptr, "sr_RS@latin", "sr", 1},
      {nullptr, nullptr, "FR_fr", "fr", 1},
      {nullptr, nullptr, "C", "en", 1},
      {nullptr, nullptr, "POSIX", "en", 1},
      {nullptr, nullptr, "C.UTF-8", "en", 1},
      {nullptr, nullptr, "/etc/locale", "en", 1},
      {nullptr, nullptr, nullptr, "en", 1},
      {"fr_CA.UTF-8", "de_DE", "ja_JP", "fr", 2},  // LC_ALL first
      {nullptr, "de_DE", "ja_JP", "de", 1},        // then LC_MESSAGES
      {"", "", "ja_JP", "ja", 1},                  // empty ones are skipped
      {"", nullptr, nullptr, "en", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.lc_all ? c.lc_all : "-") + " " + (c.lc_messages ? c.lc_messages : "-") + " " +
                 (c.lang ? c.lang : "-"));
    ScopedEnvironment env;
    env.set("LC_ALL", c.lc_all);
    env.set("LC_MESSAGES", c.lc_messages);
    env.set("LANG", c.lang);
    const vxp::UserLocale locale = processes().user_locale();
    EXPECT_EQ(locale.language, c.language);
    EXPECT_EQ(locale.sublanguage, c.sublanguage);
  }
}

}  // namespace
