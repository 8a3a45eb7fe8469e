// The generic frame: the dispatcher, the suites it holds, keeping the
// plug-in loaded, error reporting and the name.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "AIError.h"
#include "AISuites.h"
#include "ErrorCodes.h"
#include "Plugin.h"
#include "SuiteSet.h"
#include "VXIllustratorPlugin.h"
#include "fake_host.h"
#include "fake_services.h"

namespace {

using vxtest::FakeHost;

constexpr ai::Err kReached = ai::FourCC("RCHD");

// A plug-in whose handlers record that they ran and answer kReached.
class RecordingPlugin : public Plugin {
 public:
  explicit RecordingPlugin(ai::PluginRef self = nullptr, const char* name = nullptr) : Plugin(self) {
    if (name != nullptr) SetName(name);
  }

  std::vector<std::string> reached;
  void* last_message = nullptr;
  ai::Err app_started_result = kReached;
  bool purge = false;
  bool throw_in_notify = false;

#define VX_RECORD(Operation, Record)            \
  ai::Err Operation(Record* message) override { \
    reached.push_back(#Operation);              \
    last_message = message;                     \
    return kReached;                            \
  }
  VX_RECORD(Unload, ai::PluginMessageData)
  VX_RECORD(Reload, ai::PluginMessageData)
  VX_RECORD(AcquireProperty, ai::PluginMessageData)
  VX_RECORD(ReleaseProperty, ai::PluginMessageData)
  VX_RECORD(OnAppShutdown, ai::NotifierMessage)
  VX_RECORD(OnDoAction, ai::PluginMessageData)
  VX_RECORD(OnMenuGo, ai::MenuMessage)
  VX_RECORD(OnMenuUpdate, ai::MenuMessage)
  VX_RECORD(OnFilterGetParameters, ai::PluginMessageData)
  VX_RECORD(OnFilterGo, ai::PluginMessageData)
  VX_RECORD(OnPluginGroupNotifyEdits, ai::PluginMessageData)
  VX_RECORD(OnPluginGroupUpdate, ai::PluginMessageData)
  VX_RECORD(OnFileFormatGetParameters, ai::PluginMessageData)
  VX_RECORD(OnFileFormatGo, ai::PluginMessageData)
  VX_RECORD(OnFileFormatCheck, ai::PluginMessageData)
  VX_RECORD(OnFileFormatUpdate, ai::PluginMessageData)
  VX_RECORD(OnFileFormatDoAction, ai::PluginMessageData)
  VX_RECORD(OnToolEditOptions, ai::PluginMessageData)
  VX_RECORD(OnToolTrackCursor, ai::PluginMessageData)
  VX_RECORD(OnToolMouseDown, ai::PluginMessageData)
  VX_RECORD(OnToolMouseDrag, ai::PluginMessageData)
  VX_RECORD(OnToolMouseUp, ai::PluginMessageData)
  VX_RECORD(OnToolSelect, ai::PluginMessageData)
  VX_RECORD(OnToolDeselect, ai::PluginMessageData)
  VX_RECORD(OnToolReselect, ai::PluginMessageData)
  VX_RECORD(OnToolDecreaseDiameter, ai::PluginMessageData)
  VX_RECORD(OnToolIncreaseDiameter, ai::PluginMessageData)
  VX_RECORD(OnLiveEffectEditParameters, ai::PluginMessageData)
  VX_RECORD(OnLiveEffectGoLive, ai::PluginMessageData)
  VX_RECORD(OnLiveEffectInterpolateParameters, ai::PluginMessageData)
  VX_RECORD(OnLiveEffectInputType, ai::PluginMessageData)
  VX_RECORD(OnLiveEffectConvertColorSpace, ai::PluginMessageData)
  VX_RECORD(OnLiveEffectScaleParameters, ai::PluginMessageData)
  VX_RECORD(OnLiveEffectAdjustColors, ai::PluginMessageData)
  VX_RECORD(OnLiveEffectHandleMerge, ai::PluginMessageData)
  VX_RECORD(OnTimer, ai::TimerMessage)
  VX_RECORD(OnClipboardGo, ai::PluginMessageData)
  VX_RECORD(OnClipboardCanCopy, ai::PluginMessageData)
  VX_RECORD(OnClipboardClone, ai::PluginMessageData)
  VX_RECORD(OnClipboardDispose, ai::PluginMessageData)
  VX_RECORD(OnWriteWorkspace, ai::PluginMessageData)
  VX_RECORD(OnRestoreWorkspace, ai::PluginMessageData)
  VX_RECORD(OnDefaultWorkspace, ai::PluginMessageData)
#undef VX_RECORD

  ai::Err OnAppStarted(ai::NotifierMessage* message) override {
    reached.push_back("OnAppStarted");
    last_message = message;
    return app_started_result;
  }
  ai::Err OnNotify(ai::NotifierMessage* message) override {
    reached.push_back("OnNotify");
    last_message = message;
    if (throw_in_notify) throw std::runtime_error("handler failed");
    return kReached;
  }
  bool Purge() override { return purge; }
};

// Room for any message record.
struct AnyMessage {
  alignas(8) unsigned char bytes[128] = {};
};

struct Route {
  const char* caller;
  const char* selector;
  const char* operation;  // the handler it reaches
  ai::Err base;           // what the generic frame answers
};

constexpr ai::Err kUnhandled = ErrUnhandledMessage;

const Route kRoutes[] = {
    {"SP Access", "Unload", "Unload", 0},
    {"SP Access", "Reload", "Reload", 0},
    {"SP Properties", "Acquire", "AcquireProperty", kUnhandled},
    {"SP Properties", "Release", "ReleaseProperty", kUnhandled},
    {"Action Manager", "Do Action", "OnDoAction", 0},
    {"AI Menu", "AI Go", "OnMenuGo", kUnhandled},
    {"AI Menu", "AI Update", "OnMenuUpdate", kUnhandled},
    {"AI Filter", "AI Get Parameters", "OnFilterGetParameters", kUnhandled},
    {"AI Filter", "AI Go", "OnFilterGo", kUnhandled},
    {"AI Plugin Group", "AI Notify Edits", "OnPluginGroupNotifyEdits", kUnhandled},
    {"AI Plugin Group", "AI Update", "OnPluginGroupUpdate", kUnhandled},
    {"AI File Format", "AI Get Parameters", "OnFileFormatGetParameters", kUnhandled},
    {"AI File Format", "AI Go", "OnFileFormatGo", kUnhandled},
    {"AI File Format", "AI Check", "OnFileFormatCheck", kUnhandled},
    {"AI File Format", "AI Update AI140", "OnFileFormatUpdate", kUnhandled},
    {"AI File Format", "Do Action", "OnFileFormatDoAction", kUnhandled},
    {"AI Tool", "AI Edit Options", "OnToolEditOptions", kUnhandled},
    {"AI Tool", "AI Track Cursor", "OnToolTrackCursor", kUnhandled},
    {"AI Tool", "AI Mouse Down", "OnToolMouseDown", kUnhandled},
    {"AI Tool", "AI Mouse Drag", "OnToolMouseDrag", kUnhandled},
    {"AI Tool", "AI Mouse Up", "OnToolMouseUp", kUnhandled},
    {"AI Tool", "AI Select", "OnToolSelect", kUnhandled},
    {"AI Tool", "AI Deselect", "OnToolDeselect", kUnhandled},
    {"AI Tool", "AI Reselect", "OnToolReselect", 0},
    {"AI Tool", "AI Decrease Diameter", "OnToolDecreaseDiameter", 0},
    {"AI Tool", "AI Increase Diameter", "OnToolIncreaseDiameter", 0},
    {"AI Live Effect", "AI Live Effect Edit Parameters", "OnLiveEffectEditParameters", kUnhandled},
    {"AI Live Effect", "AI Live Effect Go Live", "OnLiveEffectGoLive", kUnhandled},
    {"AI Live Effect", "AI Live Effect Interpolate Parameters", "OnLiveEffectInterpolateParameters",
     kUnhandled},
    {"AI Live Effect", "AI Live Effect Input Type", "OnLiveEffectInputType", kUnhandled},
    {"AI Live Effect", "AI Live Effect Convert Color Space", "OnLiveEffectConvertColorSpace", kUnhandled},
    {"AI Live Effect", "AI Live Effect Scale Parameters", "OnLiveEffectScaleParameters", kUnhandled},
    {"AI Live Effect", "AI Live Effect Adjust Colors", "OnLiveEffectAdjustColors", kUnhandled},
    {"AI Live Effect", "AI Live Effect Handle Merge", "OnLiveEffectHandleMerge", kUnhandled},
    {"AI Timer", "AI Go", "OnTimer", kUnhandled},
    {"AI Clipboard", "AI Go", "OnClipboardGo", kUnhandled},
    {"AI Clipboard", "AI Can Copy", "OnClipboardCanCopy", kUnhandled},
    {"AI Clipboard", "AI Clone", "OnClipboardClone", kUnhandled},
    {"AI Clipboard", "AI Dispose", "OnClipboardDispose", kUnhandled},
    {"Workspace Manager", "Write Workspace", "OnWriteWorkspace", kUnhandled},
    {"Workspace Manager", "Restore Workspace", "OnRestoreWorkspace", kUnhandled},
    {"Workspace Manager", "Default Workspace", "OnDefaultWorkspace", kUnhandled},
};

TEST(Dispatcher, EveryCallerAndSelectorReachesItsOperation) {
  for (const Route& route : kRoutes) {
    SCOPED_TRACE(std::string(route.caller) + " / " + route.selector);
    RecordingPlugin plugin;
    AnyMessage message;
    EXPECT_EQ(plugin.Message(route.caller, route.selector, &message), kReached);
    EXPECT_EQ(plugin.reached, std::vector<std::string>{route.operation});
    EXPECT_EQ(plugin.last_message, &message);
  }
}

TEST(Dispatcher, GenericFrameAnswersItsDefaults) {
  // Unload and Reload change the frame's state; their answers are checked
  // with the lifecycle.
  for (const Route& route : kRoutes) {
    if (std::string(route.caller) == "SP Access") continue;
    SCOPED_TRACE(std::string(route.caller) + " / " + route.selector);
    Plugin plugin(nullptr);
    AnyMessage message;
    EXPECT_EQ(plugin.Message(route.caller, route.selector, &message), route.base);
  }
}

TEST(Dispatcher, SpecialCasesAndTextsThatOnlyResembleTheHosts) {
  struct Case {
    const char* caller;
    const char* selector;
    bool purge;
    ai::Err expected;
  };
  const Case cases[] = {
      {"SP Interface", "About", false, 0},
      {"SP Interface", "Startup", false, 0},
      {"SP Interface", "Shutdown", false, kUnhandled},
      {"SP Cache", "Plug-in Purge", false, 0},
      {"SP Cache", "Plug-in Purge", true, ErrPurgeRefused},
      {"SP Cache", "Other", true, kUnhandled},
      {"No Such Caller", "AI Go", false, kUnhandled},
      {"AI Menu", "No Such Selector", false, kUnhandled},
      // Callers and selectors are compared byte for byte.
      {"AI menu", "AI Go", false, kUnhandled},
      {"AI Menu ", "AI Go", false, kUnhandled},
      {"AI Menu", "AI Go ", false, kUnhandled},
      {"AI Men", "AI Go", false, kUnhandled},
      {nullptr, "AI Go", false, kUnhandled},
      {"AI Menu", nullptr, false, kUnhandled},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.caller ? c.caller : "(null)") + " / " + (c.selector ? c.selector : "(null)"));
    RecordingPlugin plugin;
    plugin.purge = c.purge;
    AnyMessage message;
    EXPECT_EQ(plugin.Message(c.caller, c.selector, &message), c.expected);
    EXPECT_TRUE(plugin.reached.empty());
  }
}

// --- The notifier, with the host's application context -------------------------

class NotifierDispatch : public testing::Test {
 protected:
  void SetUp() override {
    ai::suite::basic = host.basic();
    AnyMessage header;
    ASSERT_EQ(plugin.Startup(reinterpret_cast<ai::PluginMessageData*>(&header)), 0);
    host.calls.clear();
  }
  void TearDown() override { ai::suite::basic = nullptr; }

  ai::Err Notify(const char* selector, ai::NotifierHandle handle) {
    ai::NotifierMessage message{host.Header(&plugin), handle, "type", nullptr};
    return plugin.Message(ai::kCallerNotifier, selector, &message);
  }

  vxtest::FakeServices services;
  FakeHost host;
  RecordingPlugin plugin{host.self(), "Recorder"};
};

TEST_F(NotifierDispatch, HandleSelectsTheHandlerInsideThePushedContext) {
  struct Case {
    const char* name;
    int notifier;  // 0: app started, 1: app shut down, 2: someone else's
    const char* selector;
    ai::Err app_started_result;
    std::vector<std::string> reached;
    ai::Err result;
  };
  const ai::Err seven = 7;
  const Case cases[] = {
      {"started, notify", 0, "AI Notify", 0, {"OnAppStarted", "OnNotify"}, kReached},
      {"started unhandled, notify", 0, "AI Notify", kUnhandled, {"OnAppStarted", "OnNotify"}, kReached},
      {"started fails", 0, "AI Notify", seven, {"OnAppStarted"}, seven},
      {"started, other selector", 0, "Other", 0, {"OnAppStarted"}, 0},
      {"shut down", 1, "AI Notify", 0, {"OnAppShutdown"}, kReached},
      {"other notifier, notify", 2, "AI Notify", 0, {"OnNotify"}, kReached},
      {"other notifier, other selector", 2, "Other", 0, {}, kUnhandled},
  };
  ASSERT_NE(plugin.AppStartedNotifier(), nullptr);
  ASSERT_NE(plugin.AppShutdownNotifier(), nullptr);
  const ai::NotifierHandle handles[] = {plugin.AppStartedNotifier(), plugin.AppShutdownNotifier(),
                                        host.NewHandle<ai::NotifierHandle>()};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    plugin.reached.clear();
    plugin.app_started_result = c.app_started_result;
    const int pushes = host.context_pushes;
    EXPECT_EQ(Notify(c.selector, handles[c.notifier]), c.result);
    EXPECT_EQ(plugin.reached, c.reached);
    EXPECT_EQ(host.context_pushes, pushes + 1);
    EXPECT_EQ(host.context_depth, 0);
  }
}

TEST_F(NotifierDispatch, ContextIsPoppedWhenAHandlerThrows) {
  plugin.throw_in_notify = true;
  EXPECT_THROW(Notify("AI Notify", nullptr), std::runtime_error);
  EXPECT_EQ(host.context_pushes, 1);
  EXPECT_EQ(host.context_depth, 0);
}

TEST_F(NotifierDispatch, ContextThatCannotBePushedRunsNoHandler) {
  host.Fail("PushAppContext", 9);
  EXPECT_EQ(Notify("AI Notify", plugin.AppStartedNotifier()), 9);
  EXPECT_TRUE(plugin.reached.empty());
  EXPECT_EQ(host.CallsStartingWith("PopAppContext").size(), 0u);
}

TEST_F(NotifierDispatch, StartupNamesThePluginAndItsNotifiers) {
  EXPECT_EQ(host.plugin_name, "Recorder");
  ASSERT_EQ(host.notifiers.size(), 2u);
  EXPECT_EQ(host.notifiers[0].name, "Recorder App Started Notifier");
  EXPECT_EQ(host.notifiers[0].type, "AI Application Started Notifier");
  EXPECT_EQ(host.notifiers[0].handle, plugin.AppStartedNotifier());
  EXPECT_EQ(host.notifiers[1].name, "Recorder Application Shutdown Notifier");
  EXPECT_EQ(host.notifiers[1].type, "AI Application Shutdown Notifier");
  EXPECT_EQ(host.notifiers[1].handle, plugin.AppShutdownNotifier());
  EXPECT_EQ(plugin.KeepLoadedCount(), 1);
  EXPECT_EQ(host.access_holds, 1);
}

// --- Exceptions of handlers ------------------------------------------------------

// The system's plug-in with one handler that fails as told.
class ThrowingPlugin : public VXIllustratorPlugin {
 public:
  ThrowingPlugin() : VXIllustratorPlugin(nullptr) {}
  enum Mode { kHostError, kOther, kUnhandledResult } mode = kHostError;
  ai::Err OnToolMouseDown(ai::PluginMessageData*) override {
    switch (mode) {
      case kHostError:
        throw ai::Error(7);
      case kOther:
        throw std::runtime_error("broken");
      case kUnhandledResult:
        break;
    }
    return ErrUnhandledMessage;
  }
};

TEST(PluginMessage, HandlerFailuresBecomeHostCodes) {
  vxtest::FakeServices services;
  struct Case {
    ThrowingPlugin::Mode mode;
    ai::Err expected;
    bool reported;
  };
  const Case cases[] = {
      {ThrowingPlugin::kHostError, 7, true},
      {ThrowingPlugin::kOther, ErrUnexpected, true},
      {ThrowingPlugin::kUnhandledResult, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    ThrowingPlugin plugin;
    plugin.mode = c.mode;
    AnyMessage message;
    EXPECT_EQ(plugin.Message("AI Tool", "AI Mouse Down", &message), c.expected);
    EXPECT_EQ(plugin.ErrorMemory().LastCode(), c.reported ? c.expected : 0);
  }
}

// --- Suites ------------------------------------------------------------------------

const char* const kLifetimeSuites[] = {
    "SP Access Suite 3",         "SP Plug-ins Suite 6",       "AI Notifier Suite 4",
    "AI Context Suite 10",       "AI User Suite 21",          "AI File Path Suite 8",
    "AI Folders Suite 5",        "SP Blocks Suite 2",         "AI Menu Suite 11",
    "AI Unicode String Suite 9", "AI Document Suite 21",      "AI Document List Suite 11",
    "AI Dictionary Suite 10",    "AI Action Manager Suite 5", "AI Matching Art Suite 7",
    "AI MdMemory Suite 3",       "AI Art Suite 21",           "AI Artboard Suite 6",
};

std::vector<std::string> Prefixed(const char* prefix, std::size_t first, std::size_t count) {
  std::vector<std::string> out;
  for (std::size_t i = first; i < first + count; ++i) out.push_back(std::string(prefix) + kLifetimeSuites[i]);
  return out;
}

class SuiteSetTest : public testing::Test {
 protected:
  void SetUp() override { ai::suite::basic = host.basic(); }
  void TearDown() override { ai::suite::basic = nullptr; }
  FakeHost host;
};

TEST_F(SuiteSetTest, FirstHolderAcquiresInOrderAndTheLastReleasesInOrder) {
  {
    SuiteSet first;
    EXPECT_EQ(first.error(), 0);
    EXPECT_EQ(host.calls, Prefixed("Acquire ", 0, 18));
    EXPECT_NE(ai::suite::artboard, nullptr);
    EXPECT_NE(ai::suite::menu, nullptr);
    {
      SuiteSet second;
      EXPECT_EQ(second.error(), 0);
      EXPECT_EQ(SuiteSet::holders(), 2);
    }
    EXPECT_EQ(host.calls.size(), 18u);  // the second holder neither acquired nor released
    host.calls.clear();
  }
  EXPECT_EQ(host.calls, Prefixed("Release ", 0, 18));
  EXPECT_EQ(host.HeldSuiteCount(), 0);
  EXPECT_EQ(ai::suite::access, nullptr);
  EXPECT_EQ(ai::suite::artboard, nullptr);
  EXPECT_EQ(SuiteSet::holders(), 0);
}

TEST_F(SuiteSetTest, FailedSuiteEndsAcquisitionAndOnlyAcquiredOnesAreReleased) {
  host.Fail("Acquire AI Menu Suite", ai::FourCC("nope"));
  {
    SuiteSet holder;
    EXPECT_EQ(holder.error(), ai::FourCC("nope"));
    EXPECT_EQ(host.calls, Prefixed("Acquire ", 0, 9));  // up to and including the menu suite
    EXPECT_NE(ai::suite::blocks, nullptr);
    EXPECT_EQ(ai::suite::menu, nullptr);
    EXPECT_EQ(ai::suite::unicodeString, nullptr);
    host.calls.clear();
  }
  EXPECT_EQ(host.calls, Prefixed("Release ", 0, 8));
  EXPECT_EQ(host.HeldSuiteCount(), 0);
  EXPECT_EQ(ai::suite::blocks, nullptr);
}

TEST_F(SuiteSetTest, HostThatAnswersSuccessWithoutATableFailsTheAcquisition) {
  // A null table would be called through later.
  ai::BasicSuite lying{[](const char*, std::int32_t, const void** suite) {
                         *suite = nullptr;
                         return ai::kNoErr;
                       },
                       [](const char*, std::int32_t) { return ai::kNoErr; }};
  ai::suite::basic = &lying;
  SuiteSet holder;
  EXPECT_EQ(holder.error(), ai::kSuiteNotFoundErr);
  EXPECT_EQ(ai::suite::access, nullptr);
}

// --- Keeping the plug-in loaded ---------------------------------------------------

TEST_F(SuiteSetTest, KeepLoadedHoldsOnceAndReleasesWithTheLastDrop) {
  SuiteSet suites;
  {
    Plugin plugin(host.self());
    EXPECT_EQ(plugin.KeepLoaded(true), 0);
    EXPECT_EQ(plugin.KeepLoaded(true), 0);
    EXPECT_EQ(host.CallsStartingWith("AcquirePlugin").size(), 1u);
    EXPECT_EQ(plugin.KeepLoaded(false), 0);
    EXPECT_EQ(host.access_holds, 1);
    EXPECT_EQ(plugin.KeepLoaded(false), 0);
    EXPECT_EQ(host.access_holds, 0);
    // One drop too many: the count stays at 0 and nothing more is released.
    EXPECT_EQ(plugin.KeepLoaded(false), 0);
    EXPECT_EQ(plugin.KeepLoadedCount(), 0);
    EXPECT_EQ(host.CallsStartingWith("ReleasePlugin").size(), 1u);
    // The hold is taken again from 0.
    EXPECT_EQ(plugin.KeepLoaded(true), 0);
    EXPECT_EQ(host.access_holds, 1);
  }
  // Destroying the object gives back the hold it still had.
  EXPECT_EQ(host.access_holds, 0);
}

TEST_F(SuiteSetTest, KeepLoadedRefusedByTheHostHoldsNothing) {
  SuiteSet suites;
  host.Fail("AcquirePlugin", 5, 1);
  Plugin plugin(host.self());
  EXPECT_EQ(plugin.KeepLoaded(true), 5);
  EXPECT_EQ(plugin.KeepLoadedCount(), 0);
  EXPECT_EQ(plugin.KeepLoaded(true), 0);
  EXPECT_EQ(plugin.KeepLoadedCount(), 1);
}

// --- Error reporting --------------------------------------------------------------

TEST(ReportError, NeverReportedCodes) {
  vxtest::FakeServices services;
  const char* const never[] = {"FMT?", "RFSE", "AFTR", "VALD", "MOOT", "TRSH", "CHEK", "CHIT",
                               "TLTK", "pFls", "S!Fd", "!Acq", "dsRP", "skpE", "DONE", "STOP"};
  Plugin plugin(nullptr);
  for (const char* code : never) {
    SCOPED_TRACE(code);
    const ai::Err value = static_cast<ai::Err>(
        (static_cast<std::uint32_t>(code[0]) << 24) | (static_cast<std::uint32_t>(code[1]) << 16) |
        (static_cast<std::uint32_t>(code[2]) << 8) | static_cast<std::uint32_t>(code[3]));
    EXPECT_FALSE(plugin.ReportError(value, "c", "s"));
  }
  EXPECT_FALSE(plugin.ReportError(361, "c", "s"));
  EXPECT_FALSE(plugin.ReportError(0, "c", "s"));
  EXPECT_TRUE(plugin.ReportError(362, "c", "s"));
  EXPECT_TRUE(plugin.ReportError(ai::FourCC("CANT"), "c", "s"));
}

TEST(ReportError, SameCodeWithinFiveSecondsIsReportedOnce) {
  vxtest::FakeServices services;
  struct Step {
    std::int64_t at;
    ai::Err code;
    bool reported;
  };
  const Step steps[] = {
      {100, 7, true},  {100, 7, false}, {104, 7, false},  // inside the window
      {105, 7, true},                                     // the window has passed
      {106, 8, true},                                     // a different code
      {107, 7, true},                                     // 7 is no longer the last one
      {103, 7, false},                                    // a clock set back
  };
  Plugin plugin(nullptr);
  for (const Step& step : steps) {
    SCOPED_TRACE(testing::Message() << step.at << " " << step.code);
    services.platform.now = step.at;
    EXPECT_EQ(plugin.ReportError(step.code, "c", "s"), step.reported);
  }
}

// --- Name ---------------------------------------------------------------------------

TEST(PluginName, GetNameTruncatesAndTerminates) {
  Plugin generic(nullptr);
  EXPECT_STREQ(generic.Name(), "Plugin");
  VXIllustratorPlugin plugin(nullptr);
  EXPECT_STREQ(plugin.Name(), "VXIllustrator");
  struct Case {
    std::size_t size;
    const char* copied;
  };
  const Case cases[] = {
      {1, ""}, {2, "V"}, {13, "VXIllustrato"}, {14, "VXIllustrator"}, {64, "VXIllustrator"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(plugin.GetName(buffer, c.size), std::strlen(c.copied));
    EXPECT_STREQ(buffer, c.copied);
    if (c.size < sizeof buffer) {
      EXPECT_EQ(buffer[c.size], '#');  // nothing written past size
    }
  }
  char untouched = '#';
  EXPECT_EQ(plugin.GetName(&untouched, 0), 0u);
  EXPECT_EQ(untouched, '#');
}

TEST(PluginName, LongNameKeeps255Bytes) {
  const std::string long_name(300, 'n');
  RecordingPlugin plugin(nullptr, long_name.c_str());
  EXPECT_EQ(std::string(plugin.Name()), long_name.substr(0, 255));
}

// --- The process-wide plug-in ------------------------------------------------------

TEST(GlobalPlugin, AccessorThrowsWithoutAPluginAndForgetsADestroyedOne) {
  EXPECT_EQ(GlobalPluginPointer(), nullptr);
  try {
    GlobalPlugin();
    FAIL() << "no exception";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "global isn't initialized");
  }
  {
    VXIllustratorPlugin plugin(nullptr);
    plugin.SetGlobal(&plugin);
    EXPECT_EQ(&GlobalPlugin(), &plugin);
    EXPECT_EQ(&ThePlugin(), &plugin);
  }
  EXPECT_EQ(GlobalPluginPointer(), nullptr);
  EXPECT_THROW(ThePlugin(), std::runtime_error);
}

}  // namespace
