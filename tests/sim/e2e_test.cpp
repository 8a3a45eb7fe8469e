// The plug-in end to end, every piece a real process: vxhost loads the
// plug-in module and plays a script, vxdesk serves the pipe, records what
// arrives and answers through the plug-in's reply window. What the host saw
// is read from vxhost's report, what Veloxa saw from vxdesk's record and log.
// Requests of the kinds no menu command sends yet go out from the plug-in
// core in this process.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "CSBoilerPlate/menuHandler_win32.h"
#include "DeskScenario.h"
#include "Requests.h"
#include "VeloxaLink.h"
#include "platform/Process.h"
#include "platform/WindowSystem.h"

namespace vxdesktest {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// The suites the plug-in holds from start-up to shut-down, in the order it
// takes them.
const std::vector<std::pair<std::string, int>> kLifetimeSuites = {
    {"SP Access Suite", 3},         {"SP Plug-ins Suite", 6},       {"AI Notifier Suite", 4},
    {"AI Context Suite", 10},       {"AI User Suite", 21},          {"AI File Path Suite", 8},
    {"AI Folders Suite", 5},        {"SP Blocks Suite", 2},         {"AI Menu Suite", 11},
    {"AI Unicode String Suite", 9}, {"AI Document Suite", 21},      {"AI Document List Suite", 11},
    {"AI Dictionary Suite", 10},    {"AI Action Manager Suite", 5}, {"AI Matching Art Suite", 7},
    {"AI MdMemory Suite", 3},       {"AI Art Suite", 21},           {"AI Artboard Suite", 6},
};

// One answer as the report lists it: code, size, result, taken.
using AnswerRow = std::tuple<std::uint64_t, std::uint64_t, std::int64_t, bool>;

class PluginEndToEnd : public DeskScenario {
 protected:
  // The run's report; a test failure (and an empty object) when there is
  // none. Members are looked up with the non-const operator[], so that a
  // missing one reads as null instead of being undefined behaviour.
  static json Report(const HostRun& run) {
    json report = json::parse(run.report, nullptr, false);
    if (report.is_discarded() || !report.is_object()) {
      ADD_FAILURE() << "no report; vxhost said: " << run.err;
      return json::object();
    }
    return report;
  }

  static std::vector<AnswerRow> Answers(const json& report) {
    std::vector<AnswerRow> rows;
    for (const json& a : report.value("answers", json::array()))
      rows.emplace_back(a["code"].get<std::uint64_t>(), a["size"].get<std::uint64_t>(),
                        a["result"].get<std::int64_t>(), a["taken"].get<bool>());
    return rows;
  }

  // Waits until vxdesk has delivered its answer (42609) to the About pick,
  // so that answers a test sends afterwards reach the window after it.
  bool AboutAnswered() {
    return PumpUntil([&] { return Occurrences(Log(), "answer 42609 (0 bytes) to window ") >= 1; });
  }

  // The item of the report's menu with that text.
  static json Item(const json& report, const std::string& text) {
    for (const json& item : report.value("menu", json::array()))
      if (item["text"] == text) return item;
    ADD_FAILURE() << "no menu item " << text;
    return json();
  }

  // The window a recorded request names.
  static vxp::WindowHandle WindowOf(const std::string& line) {
    const json request = json::parse(line, nullptr, false);
    if (request.is_discarded() || !request.contains("hwnd")) {
      ADD_FAILURE() << "no window in " << line;
      return 0;
    }
    return std::stoull(request["hwnd"].get<std::string>());
  }

  // The windows' sockets left in R.
  std::vector<std::string> WindowSockets() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(InRuntime("hwnd"), ec))
      names.push_back(entry.path().filename());
    return names;
  }

  // Job-details answers (kind 2) that made a document: the plug-in's record
  // of their sizes on vxhost's standard error.
  static std::size_t NewDetailsHandled(const HostRun& run) {
    return Occurrences(run.err, "[VXIllustrator:HandleNewDetailsReply:1337] new details ");
  }
  // The report's documents that hold a stored job (an attach answer, kind 1,
  // with the document open, or a document made for a job).
  static std::size_t DocumentsWithJob(const json& report) {
    std::size_t n = 0;
    for (const json& document : report.value("documents", json::array()))
      if (document["dictionary"].contains("Veloxa5SLUGData")) ++n;
    return n;
  }
};

constexpr std::uint64_t kFront = vxlink::kAnswerBringToFront;

// --- The frame ---------------------------------------------------------------------

TEST_F(PluginEndToEnd, StartupTakesTheSuitesInOrderAndSetsUpNameNotifiersTimerAndMenu) {
  const HostRun run = RunHost("run 0.1\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  json report = Report(run);
  EXPECT_EQ(report["plugin"]["name"], "VXIllustrator");

  // The lifetime suites in order, the timer suite around its one use, and
  // at shut-down every lifetime suite given back in the same order.
  std::vector<std::tuple<std::string, std::string, int>> expected;
  for (const auto& [name, version] : kLifetimeSuites) expected.emplace_back("acquire", name, version);
  expected.emplace_back("acquire", "AI Timer Suite", 5);
  expected.emplace_back("release", "AI Timer Suite", 5);
  for (const auto& [name, version] : kLifetimeSuites) expected.emplace_back("release", name, version);
  std::vector<std::tuple<std::string, std::string, int>> suites;
  for (const json& event : report["suites"]) {
    EXPECT_EQ(event["result"], 0) << event;
    suites.emplace_back(event["op"], event["name"], event["version"]);
  }
  EXPECT_EQ(suites, expected);

  const json notifiers = json::parse(R"([
    {"name":"VXIllustrator App Started Notifier","type":"AI Application Started Notifier","notified":1},
    {"name":"VXIllustrator Application Shutdown Notifier","type":"AI Application Shutdown Notifier","notified":1}])");
  EXPECT_EQ(report["notifiers"], notifiers);
  ASSERT_EQ(report["timers"].size(), 1u);
  const json& timer = report["timers"][0];
  EXPECT_EQ(timer["name"], "VeloxaTimer");
  EXPECT_EQ(timer["period"], 60);
  EXPECT_EQ(timer["active"], true);
  EXPECT_GT(timer["fired"].get<int>(), 0) << "the timer never reached the plug-in";

  struct MenuItem {
    const char* group;
    const char* text;
    int options;
    json submenu;
  };
  const MenuItem menu[] = {
      {"Place Document", "", 4, nullptr},
      {"Place Document", "Veloxa", 0, "Veloxa Group"},
      {"Veloxa Group", "About Veloxa...", 0, nullptr},
      {"Veloxa Group", "Show Job List Window", 0, nullptr},
      {"Veloxa Group", "", 4, nullptr},
      {"Veloxa Group", "Job Details / Export...", 0, nullptr},
      {"Veloxa Group", "AdjustSize...", 1, nullptr},
  };
  ASSERT_EQ(report["menu"].size(), std::size(menu));
  for (std::size_t i = 0; i < std::size(menu); ++i) {
    SCOPED_TRACE(i);
    const json& item = report["menu"][i];
    EXPECT_EQ(item["key"], "Veloxa Group");
    EXPECT_EQ(item["group"], menu[i].group);
    EXPECT_EQ(item["text"], menu[i].text);
    EXPECT_EQ(item["options"], menu[i].options);
    EXPECT_EQ(item["submenu"], menu[i].submenu);
  }
  const json group = json::parse(R"({"name":"Veloxa Group","host":false,"parent":"Veloxa","options":0})");
  EXPECT_EQ(report["groups"].back(), group);

  // The orderly end leaves nothing of the plug-in's behind.
  for (const auto& [what, count] : report["live"].items()) EXPECT_EQ(count, 0) << what;
  EXPECT_EQ(report["messages"].front()["selector"], "Startup");
  EXPECT_EQ(report["messages"].back()["selector"], "Shutdown");
  EXPECT_EQ(report["messages"].back()["result"], 0);
}

TEST_F(PluginEndToEnd, FailedStartupLeavesNothingBehind) {
  struct Case {
    const char* name;
    const char* fail;
    std::int64_t code;
  };
  const Case cases[] = {
      {"a lifetime suite is missing", "fail AcquireSuite:AI Menu Suite S!Fd", 0x53214664},  // 'S!Fd'
      {"the timer suite is missing", "fail AcquireSuite:AI Timer Suite S!Fd", 0x21494D50},  // '!IMP'
      {"the submenu cannot be made", "fail AddMenuGroupAsSubMenu 9", 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const HostRun run = RunHost(std::string(c.fail) + "\nrun 0.05\n");
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("the plug-in's start-up failed with code " + std::to_string(c.code)),
              std::string::npos)
        << run.err;
    json report = Report(run);
    ASSERT_EQ(report["messages"].size(), 1u) << report["messages"];
    EXPECT_EQ(report["messages"][0]["result"], c.code);
    for (const json& suite : report["suite_counts"]) EXPECT_EQ(suite["acquired"], suite["released"]) << suite;
    for (const auto& [what, count] : report["live"].items()) EXPECT_EQ(count, 0) << what;
    // The host's window and the plug-in's are gone with the process.
    EXPECT_EQ(WindowSockets(), std::vector<std::string>{std::to_string(window_)});
  }
}

TEST_F(PluginEndToEnd, HostErrorOfAMenuUpdateReachesTheHostAsItsCode) {
  const HostRun run = RunHost("fail DisableItem 7\nmenu About Veloxa...\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  json report = Report(run);
  std::size_t updates = 0;
  for (const json& m : report["messages"]) {
    if (m["caller"] != "AI Menu") continue;
    EXPECT_EQ(m["result"], m["selector"] == "AI Update" ? 7 : 0) << m;
    updates += m["selector"] == "AI Update";
  }
  EXPECT_GT(updates, 0u);
  EXPECT_EQ(Item(report, "About Veloxa...")["picks"], 1) << "the pick after the failed update";
}

TEST_F(PluginEndToEnd, AdjustSizeIsDisabledWhileNoJobIsStored) {
  struct Case {
    const char* name;
    const char* before;
    std::size_t documents;
  };
  const Case cases[] = {
      {"no document", "", 0},
      {"a document without a job", "new 595.28 841.89\n", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const HostRun run = RunHost(std::string(c.before) + "menu AdjustSize...\n");
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("menu item \"AdjustSize...\": the item is disabled"), std::string::npos)
        << run.err;
    json report = Report(run);
    EXPECT_EQ(report["documents"].size(), c.documents);
    const json adjust = Item(report, "AdjustSize...");
    EXPECT_EQ(adjust["enabled"], false);
    EXPECT_GT(adjust["updates"].get<int>(), 0);
    EXPECT_EQ(adjust["picks"], 0);
  }
}

TEST_F(PluginEndToEnd, UnloadAndReloadKeepTheObjectAndItsMenu) {
  StartDesk();
  const HostRun run = RunHost("unload\nreload\nmenu About Veloxa...\nrun 1\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  json report = Report(run);
  std::vector<std::pair<std::string, int>> frame;
  for (const json& m : report["messages"])
    if (m["caller"] == "SP Interface" || m["caller"] == "SP Access")
      frame.emplace_back(m["selector"], m["result"]);
  EXPECT_EQ(frame, (std::vector<std::pair<std::string, int>>{
                       {"Startup", 0}, {"Unload", 0}, {"Reload", 0}, {"Shutdown", 0}}));
  // Nothing was set up twice, and the item kept from before works.
  EXPECT_EQ(report["timers"].size(), 1u);
  EXPECT_EQ(report["menu"].size(), 7u);
  EXPECT_EQ(Item(report, "About Veloxa...")["picks"], 1);
  const std::vector<std::string> record = Record();
  ASSERT_EQ(record.size(), 2u);
  EXPECT_EQ(record[1], Request("about", WindowOf(record[1])));
  EXPECT_EQ(Answers(report), std::vector<AnswerRow>{AnswerRow(kFront, 0, 1, false)});
}

// --- The link ------------------------------------------------------------------------

TEST_F(PluginEndToEnd, AboutAndJobListArriveByteForByteEachAfterItsPing) {
  StartDesk();
  const HostRun run = RunHost("menu About Veloxa...\nmenu Show Job List Window\nrun 1\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::vector<std::string> record = Record();
  ASSERT_EQ(record.size(), 4u);
  const vxp::WindowHandle window = WindowOf(record[1]);
  EXPECT_EQ(record, (std::vector<std::string>{R"({"what":"ping"})", Request("about", window),
                                              R"({"what":"ping"})", Request("joblist", window)}));
  // Veloxa's answers went to that window, and it is the plug-in's.
  EXPECT_EQ(Occurrences(Log(), "answer 42609 (0 bytes) to window " + std::to_string(window) + " for "), 2u)
      << Log();
  EXPECT_EQ(Answers(Report(run)),
            (std::vector<AnswerRow>{AnswerRow(kFront, 0, 1, false), AnswerRow(kFront, 0, 1, false)}));
}

TEST_F(PluginEndToEnd, RequestsOfEveryKindArriveAsTheCoreWritesThem) {
  StartDesk();
  struct Case {
    const char* name;
    std::string payload;
    RequestKind kind;
    const char* text;  // %W stands for the window
  };
  const Case cases[] = {
      {"details with a payload", std::string("\0\1\2\xFD\xFE\xFF", 6), eRequestKind_Details,
       R"({"hwnd":"%W","sender":"IllustratorCS","v":"AAEC/f7/","what":"details"})"},
      {"details of an empty job", "", eRequestKind_Details,
       R"({"hwnd":"%W","sender":"IllustratorCS","v":"","what":"details"})"},
      {"details for the document", "JOB5", eRequestKind_DetailsForDocument,
       R"({"hwnd":"%W","sender":"IllustratorCS","v":"Sk9CNQ==","what":"details","x":true})"},
      {"an export report", "\xFB\xFF", eRequestKind_Exported,
       R"({"hwnd":"%W","sender":"IllustratorCS","v":"+/8=","what":"exported"})"},
      {"about ignores its payload", "ignored", eRequestKind_About,
       R"({"hwnd":"%W","sender":"IllustratorCS","what":"about"})"},
  };
  std::size_t lines = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SendRequest(c.payload, c.kind);
    lines += 2;
    ASSERT_TRUE(RecordHolds(lines));
    const std::vector<std::string> record = Record();
    ASSERT_EQ(record.size(), lines);
    std::string expected = c.text;
    expected.replace(expected.find("%W"), 2, std::to_string(ReplyWindow()));
    EXPECT_EQ(record[lines - 2], R"({"what":"ping"})");
    EXPECT_EQ(record[lines - 1], expected);
  }
  DestroyReplyWindow();
}

TEST_F(PluginEndToEnd, WithNothingListeningTheRegisteredDeskIsLaunchedOnceAndTheRequestArrives) {
  const std::string copy = RegisterDeskCopy();
  ASSERT_FALSE(copy.empty());
  // Whatever happens, the launched copy ends by itself before long.
  ASSERT_EQ(RunDesk({"--config", "--end-after", "60"}).exit_code, 0);
  const HostRun run = RunHost("menu About Veloxa...\nmenu Show Job List Window\nrun 1\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;

  // The probe found nobody and was lost; the request after the launch
  // arrived; the next request found Veloxa serving.
  const std::vector<std::string> record = Record();
  ASSERT_EQ(record.size(), 3u);
  const vxp::WindowHandle window = WindowOf(record[0]);
  EXPECT_EQ(record, (std::vector<std::string>{Request("about", window), R"({"what":"ping"})",
                                              Request("joblist", window)}));
  EXPECT_EQ(Occurrences(Log(), "serving "), 1u) << Log();
  std::size_t running = 0;
  vxp::ProcessService::Default().scan_processes([&](const std::string& image) {
    running += image == copy;
    return false;
  });
  EXPECT_EQ(running, 1u);

  ASSERT_EQ(RunDesk({"stop"}).exit_code, 0);
  EXPECT_TRUE(PumpUntil([&] {
    bool found = false;
    vxp::ProcessService::Default().scan_processes(
        [&](const std::string& image) { return found = image == copy; });
    return !found;
  })) << "the launched vxdesk is still running";
}

TEST_F(PluginEndToEnd, WithNothingRegisteredNothingIsLaunchedAndNothingWaitedFor) {
  const auto start = std::chrono::steady_clock::now();
  const HostRun run = RunHost("menu About Veloxa...\nmenu Show Job List Window\n");
  const auto took = std::chrono::steady_clock::now() - start;
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_FALSE(fs::exists(InRuntime("vxdesk.log"))) << "something was started";
  // Each launch waits 3 s for Veloxa, so two picks that launched would take
  // 6 s at least; without, the run is far quicker even on a loaded machine.
  EXPECT_LT(took, std::chrono::seconds(6));
}

TEST_F(PluginEndToEnd, WithoutUsernameOrUserThePipeOfUser123IsUsed) {
  const std::vector<std::string> no_user = {"USERNAME", "USER"};
  StartDesk({}, true, no_user);
  EXPECT_TRUE(fs::exists(InRuntime("pipe/VeloxaIPC.123")));
  const HostRun run = RunHost("menu About Veloxa...\n", no_user);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::vector<std::string> record = Record();
  ASSERT_EQ(record.size(), 2u);
  EXPECT_EQ(record[1], Request("about", WindowOf(record[1])));
}

// --- The reply window -----------------------------------------------------------------

TEST_F(PluginEndToEnd, AnAnswerIsDecodedParkedAndTakenByATick) {
  StartDesk();
  StartHost("menu About Veloxa...\nwait-answer 10\n");
  ASSERT_TRUE(RecordHolds(2));
  ASSERT_TRUE(AboutAnswered()) << Log();
  const RunResult sent = RunDesk({"send", "details"});
  EXPECT_EQ(sent.out, "1\n") << sent.err;
  const HostRun run = FinishHost();
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::vector<AnswerRow> answers = Answers(Report(run));
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[0], AnswerRow(kFront, 0, 1, false));
  const auto [code, size, result, taken] = answers[1];
  EXPECT_EQ(code, vxlink::kAnswerNewDetails);
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(taken);
  // Four bytes of text (two UTF-16 characters) make one byte of the job.
  ASSERT_GT(size, 0u);
  EXPECT_EQ(size % 4, 0u);
  // Routed: the job made a document, which holds it.
  EXPECT_EQ(NewDetailsHandled(run), 1u) << run.err;
  EXPECT_EQ(DocumentsWithJob(Report(run)), 1u);
}

// A document is open, so that the attach answer leaves its job there.
TEST_F(PluginEndToEnd, TwoAnswersBeforeOneTickKeepOnlyTheSecond) {
  StartDesk();
  StartHost("ticks off\nnew 600 800\nmenu About Veloxa...\nrun 6\nticks on\nwait-answer 10\n");
  ASSERT_TRUE(RecordHolds(2));
  ASSERT_TRUE(AboutAnswered()) << Log();
  EXPECT_EQ(RunDesk({"send", "details"}).out, "1\n");
  EXPECT_EQ(RunDesk({"send", "attach"}).out, "1\n");
  const HostRun run = FinishHost();
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::vector<AnswerRow> answers = Answers(Report(run));
  ASSERT_EQ(answers.size(), 3u);
  EXPECT_EQ(std::get<0>(answers[1]), vxlink::kAnswerNewDetails);
  EXPECT_FALSE(std::get<3>(answers[1])) << "the replaced answer was handled";
  EXPECT_EQ(std::get<0>(answers[2]), vxlink::kAnswerAttachJob);
  EXPECT_TRUE(std::get<3>(answers[2]));
  // The details answer made no document; the attach answer stored its job.
  EXPECT_EQ(NewDetailsHandled(run), 0u) << run.err;
  const json report = Report(run);
  EXPECT_EQ(report["documents"].size(), 1u);
  EXPECT_EQ(DocumentsWithJob(report), 1u);
}

TEST_F(PluginEndToEnd, RefusedAnswersGetZeroAndLeaveTheParkedOneAlone) {
  StartDesk();
  StartHost("ticks off\nnew 600 800\nmenu About Veloxa...\nrun 6\nticks on\nwait-answer 10\n");
  ASSERT_TRUE(RecordHolds(2));
  ASSERT_TRUE(AboutAnswered()) << Log();
  const vxp::WindowHandle window = WindowOf(Record()[1]);
  ASSERT_EQ(RunDesk({"send", "attach"}).out, "1\n");

  // An unknown code from vxdesk, with a job as its payload.
  const RunResult unknown = RunDesk({"send", "777"});
  EXPECT_EQ(unknown.exit_code, 1);
  EXPECT_EQ(unknown.out, "0\n");
  // Texts that Veloxa never sends, from a sender of the test's own.
  struct Case {
    const char* name;
    std::uint64_t code;
    std::string text;
  };
  const Case cases[] = {
      {"a character that is no hexadecimal digit", vxlink::kAnswerNewDetails, std::string("0\0G\0", 4)},
      {"a character beyond one byte", vxlink::kAnswerExport,
       std::string("0\x01"
                   "0\0",
                   4)},
      {"a text over the bound", vxlink::kAnswerAttachJob, std::string(vxlink::kMaxAnswerTextBytes + 4, '0')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(vxp::WindowSystem::Default().send_copy_data(
                  window, 0, c.code, c.text.data(), static_cast<std::uint32_t>(c.text.size()), 5000, nullptr),
              0);
  }
  const HostRun run = FinishHost();
  ASSERT_EQ(run.exit_code, 0) << run.err;
  std::vector<AnswerRow> answers = Answers(Report(run));
  ASSERT_EQ(answers.size(), 6u);
  EXPECT_EQ(std::get<0>(answers[1]), vxlink::kAnswerAttachJob);
  EXPECT_TRUE(std::get<3>(answers[1])) << "the parked answer was lost";
  const std::uint64_t refused_codes[] = {777, vxlink::kAnswerNewDetails, vxlink::kAnswerExport,
                                         vxlink::kAnswerAttachJob};
  for (std::size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(std::get<0>(answers[2 + i]), refused_codes[i]);
    EXPECT_EQ(std::get<2>(answers[2 + i]), 0);
    EXPECT_FALSE(std::get<3>(answers[2 + i]));
  }
  // Only the parked attach answer was handled: its job is in the document,
  // and no refused one made a document or an ERROR record of the routing.
  const json report = Report(run);
  EXPECT_EQ(report["documents"].size(), 1u);
  EXPECT_EQ(DocumentsWithJob(report), 1u);
  EXPECT_EQ(Occurrences(run.err, "HandleReceivedEvent:76]"), 0u) << run.err;
}

TEST_F(PluginEndToEnd, BringToFrontRestoresOrActivatesTheHost) {
  StartDesk();
  struct Case {
    const char* before;  // what the user did before choosing About
    const char* outcome;
  };
  const Case cases[] = {
      {"", "activated"},           // another program was in front
      {"", "already-front"},       // the host came to the front just now
      {"minimise\n", "restored"},  // a minimised host gets the restore command
      {"hang\n", "hung"},          // a hung host is left alone
  };
  std::string script;
  json outcomes = json::array();
  for (const Case& c : cases) {
    script += std::string(c.before) + "menu About Veloxa...\nrun 1.5\n";
    outcomes.push_back(c.outcome);
  }
  const HostRun run = RunHost(script);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  json report = Report(run);
  EXPECT_EQ(report["front"], outcomes);
  EXPECT_EQ(Answers(report), std::vector<AnswerRow>(std::size(cases), AnswerRow(kFront, 0, 1, false)));
}

// --- String tables ----------------------------------------------------------------------

TEST_F(PluginEndToEnd, MenuTextsFollowTheUsersLanguage) {
  struct Case {
    const char* lang;
    std::vector<std::string> texts;
  };
  const Case cases[] = {
      {"LANG=de_DE.UTF-8",
       {"Veloxa",
        "\xC3\x9C"
        "ber Veloxa...",
        "Auftragsliste anzeigen", "Auftragsdetails / Export...",
        "Gr\xC3\xB6\xC3\x9F"
        "e anpassen..."}},
      {"LANG=C",
       {"Veloxa", "About Veloxa...", "Show Job List Window", "Job Details / Export...", "AdjustSize..."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lang);
    const HostRun run = RunHost("run 0.01\n", {c.lang, "LC_ALL", "LC_MESSAGES"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    json report = Report(run);
    std::vector<std::string> texts;
    for (const json& item : report["menu"])
      if (!item["text"].get<std::string>().empty()) texts.push_back(item["text"]);
    EXPECT_EQ(texts, c.texts);
  }
}

}  // namespace
}  // namespace vxdesktest
