#include "Plugin.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

#include "AISuites.h"
#include "ErrorCodes.h"
#include "platform/Platform.h"

// --- Error reporting -----------------------------------------------------------

bool ErrorReporter::IsNeverReported(ai::Err code) {
  static constexpr ai::Err kNeverReported[] = {
      ai::FourCC("FMT?"),
      ai::FourCC("RFSE"),
      ai::FourCC("AFTR"),
      ai::FourCC("VALD"),
      ai::FourCC("MOOT"),
      ai::FourCC("TRSH"),
      ai::FourCC("CHEK"),
      ai::FourCC("CHIT"),
      ai::FourCC("TLTK"),
      ai::FourCC("pFls"),
      ai::FourCC("S!Fd"),
      ai::FourCC("!Acq"),
      ai::FourCC("dsRP"),
      ai::FourCC("skpE"),
      ai::FourCC("DONE"),
      ai::FourCC("STOP"),
      361,
  };
  if (code == ai::kNoErr) return true;
  for (ai::Err never : kNeverReported)
    if (code == never) return true;
  return false;
}

bool ErrorReporter::Report(ai::Err code) {
  if (IsNeverReported(code)) return false;
  const std::int64_t now = vxp::Platform::Default().wall_clock_seconds();
  // A clock set back since the last report counts as inside the window.
  if (suppress_repeats_ && code == last_code_ && now - last_time_ < window_seconds_) return false;
  last_code_ = code;
  last_time_ = now;
  // The code would now be looked up in the plug-in's message texts and
  // shown; the plug-in has none, so nothing is shown.
  return true;
}

// --- The process-wide plug-in pointer -------------------------------------------

namespace {
Plugin* global_plugin = nullptr;
}  // namespace

Plugin& GlobalPlugin() {
  if (global_plugin == nullptr) throw std::runtime_error("global isn't initialized");
  return *global_plugin;
}

Plugin* GlobalPluginPointer() { return global_plugin; }

void SetGlobalPlugin(Plugin* object) { global_plugin = object; }

// --- Construction --------------------------------------------------------------

Plugin::Plugin(ai::PluginRef self) : self_(self) { SetName("Plugin"); }

Plugin::Plugin(State&& state)
    : self_(state.self),
      suites_(std::move(state.suites)),
      keep_loaded_count_(state.keep_loaded_count),
      access_(state.access),
      errors_(state.errors) {
  std::memcpy(name_, state.name, sizeof name_);
  name_[kMaxNameLength] = '\0';
  state.keep_loaded_count = 0;
  state.access = nullptr;
}

Plugin::~Plugin() {
  // The hold goes back through the access suite, so before the suites. An
  // object that lost its suites (a reload that failed) borrows the suite.
  if (keep_loaded_count_ > 0 && access_ != nullptr) {
    try {
      if (ai::suite::access != nullptr) {
        ai::suite::access->ReleasePlugin(access_);
      } else {
        ai::AcquiredSuite<ai::AccessSuite> access(ai::suite::basic, ai::kAccessSuite,
                                                  ai::kAccessSuiteVersion);
        if (access) access->ReleasePlugin(access_);
      }
    } catch (...) {
      // A destructor must not throw; the hold is the host's to clean up.
    }
  }
  keep_loaded_count_ = 0;
  access_ = nullptr;
  suites_.reset();
  if (global_plugin == this) global_plugin = nullptr;
}

Plugin::State Plugin::TakeState() noexcept {
  State state;
  std::memcpy(state.name, name_, sizeof name_);
  state.self = self_;
  state.suites = std::move(suites_);
  state.keep_loaded_count = keep_loaded_count_;
  state.access = access_;
  state.errors = errors_;
  keep_loaded_count_ = 0;
  access_ = nullptr;
  return state;
}

void Plugin::SetName(const char* name) {
  if (name == nullptr) name = "";
  std::size_t n = std::strlen(name);
  if (n > kMaxNameLength) n = kMaxNameLength;
  std::memcpy(name_, name, n);
  name_[n] = '\0';
}

void Plugin::ReleaseSuites() { suites_.reset(); }

// --- Lifecycle -------------------------------------------------------------------

bool Plugin::ReportError(ai::Err code, const char*, const char*) { return errors_.Report(code); }

ai::Err Plugin::KeepLoaded(bool keep) {
  if (keep) {
    if (++keep_loaded_count_ == 1) {
      if (ai::suite::access == nullptr) {
        keep_loaded_count_ = 0;
        return ai::kSuiteNotFoundErr;
      }
      ai::AccessRef access = nullptr;
      const ai::Err err = ai::suite::access->AcquirePlugin(self_, &access);
      if (err != ai::kNoErr) {
        // No hold was taken: nothing to release later.
        keep_loaded_count_ = 0;
        return err;
      }
      access_ = access;
    }
    return ai::kNoErr;
  }
  if (--keep_loaded_count_ == 0) {
    ai::Err err = ai::kNoErr;
    if (access_ != nullptr && ai::suite::access != nullptr) err = ai::suite::access->ReleasePlugin(access_);
    access_ = nullptr;
    return err;
  }
  if (keep_loaded_count_ < 0) keep_loaded_count_ = 0;
  return ai::kNoErr;
}

ai::Err Plugin::Startup(ai::PluginMessageData* message) {
  SetGlobal(this);

  suites_.reset(new (std::nothrow) SuiteSet());
  if (suites_ == nullptr) return ErrOutOfMemory;
  if (const ai::Err err = suites_->error(); err != ai::kNoErr) {
    suites_.reset();
    return err;
  }

  ai::Err err = ai::suite::plugins->SetPluginName(self_, name_);
  if (err != ai::kNoErr) return err;

  char notifier_name[kMaxNameLength + 64];
  std::snprintf(notifier_name, sizeof notifier_name, "%s App Started Notifier", name_);
  err = ai::suite::notifier->AddNotifier(self_, notifier_name, ai::kApplicationStartedNotifier,
                                         &app_started_notifier_);
  if (err != ai::kNoErr) return err;
  std::snprintf(notifier_name, sizeof notifier_name, "%s Application Shutdown Notifier", name_);
  err = ai::suite::notifier->AddNotifier(self_, notifier_name, ai::kApplicationShutdownNotifier,
                                         &app_shutdown_notifier_);
  if (err != ai::kNoErr) return err;

  err = StartupHookA(message);
  if (err == ai::kNoErr) err = StartupHookB(message);
  if (err == ai::kNoErr) err = KeepLoaded(true);
  return err;
}

ai::Err Plugin::OnAppStarted(ai::NotifierMessage*) { return ai::kNoErr; }
ai::Err Plugin::OnAppShutdown(ai::NotifierMessage*) { return ai::kNoErr; }

ai::Err Plugin::Shutdown(ai::PluginMessageData*) {
  suites_.reset();
  SetGlobal(nullptr);
  return ai::kNoErr;
}

ai::Err Plugin::Unload(ai::PluginMessageData* message) {
  const ai::Err err = PreUnloadHook(message);
  SetGlobal(nullptr);
  suites_.reset();
  return err;
}

ai::Err Plugin::Reload(ai::PluginMessageData* message) {
  SetGlobal(this);
  if (suites_ == nullptr) {
    suites_.reset(new (std::nothrow) SuiteSet());
    if (suites_ == nullptr) return ErrOutOfMemory;
    if (const ai::Err err = suites_->error(); err != ai::kNoErr) {
      suites_.reset();
      return err;
    }
  }
  return StartupHookB(message);
}

ai::Err Plugin::AcquireProperty(ai::PluginMessageData*) { return ErrUnhandledMessage; }
ai::Err Plugin::ReleaseProperty(ai::PluginMessageData*) { return ErrUnhandledMessage; }

std::size_t Plugin::GetName(char* buffer, std::size_t size) const {
  if (buffer == nullptr || size == 0) return 0;
  std::size_t n = std::strlen(name_);
  if (n > size - 1) n = size - 1;
  std::memcpy(buffer, name_, n);
  buffer[n] = '\0';
  return n;
}

bool Plugin::Purge() { return false; }

ai::Err Plugin::SetGlobal(Plugin*) { return ai::kNoErr; }
ai::Err Plugin::StartupHookA(ai::PluginMessageData*) { return ai::kNoErr; }
ai::Err Plugin::StartupHookB(ai::PluginMessageData*) { return ai::kNoErr; }
ai::Err Plugin::PreUnloadHook(ai::PluginMessageData*) { return ai::kNoErr; }
ai::Err Plugin::AcquireOptionalSuites() { return ai::kNoErr; }

// --- Handlers --------------------------------------------------------------------

ai::Err Plugin::OnNotify(ai::NotifierMessage*) { return ai::kNoErr; }
ai::Err Plugin::OnDoAction(ai::PluginMessageData*) { return ai::kNoErr; }
ai::Err Plugin::OnMenuGo(ai::MenuMessage*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnMenuUpdate(ai::MenuMessage*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnFilterGetParameters(ai::PluginMessageData*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnFilterGo(ai::PluginMessageData*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnPluginGroupNotifyEdits(ai::PluginMessageData*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnPluginGroupUpdate(ai::PluginMessageData*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnFileFormatGetParameters(ai::PluginMessageData*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnFileFormatGo(ai::PluginMessageData*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnFileFormatCheck(ai::PluginMessageData*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnFileFormatUpdate(ai::PluginMessageData*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnFileFormatDoAction(ai::PluginMessageData*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnToolEditOptions(ai::PluginMessageData*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnToolTrackCursor(ai::PluginMessageData*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnToolMouseDown(ai::PluginMessageData*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnToolMouseDrag(ai::PluginMessageData*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnToolMouseUp(ai::PluginMessageData*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnToolSelect(ai::PluginMessageData*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnToolDeselect(ai::PluginMessageData*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnToolReselect(ai::PluginMessageData*) { return ai::kNoErr; }
ai::Err Plugin::OnToolDecreaseDiameter(ai::PluginMessageData*) { return ai::kNoErr; }
ai::Err Plugin::OnToolIncreaseDiameter(ai::PluginMessageData*) { return ai::kNoErr; }
ai::Err Plugin::OnLiveEffectEditParameters(ai::PluginMessageData*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnLiveEffectGoLive(ai::PluginMessageData*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnLiveEffectInterpolateParameters(ai::PluginMessageData*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnLiveEffectInputType(ai::PluginMessageData*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnLiveEffectConvertColorSpace(ai::PluginMessageData*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnLiveEffectScaleParameters(ai::PluginMessageData*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnLiveEffectAdjustColors(ai::PluginMessageData*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnLiveEffectHandleMerge(ai::PluginMessageData*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnTimer(ai::TimerMessage*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnClipboardGo(ai::PluginMessageData*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnClipboardCanCopy(ai::PluginMessageData*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnClipboardClone(ai::PluginMessageData*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnClipboardDispose(ai::PluginMessageData*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnWriteWorkspace(ai::PluginMessageData*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnRestoreWorkspace(ai::PluginMessageData*) { return ErrUnhandledMessage; }
ai::Err Plugin::OnDefaultWorkspace(ai::PluginMessageData*) { return ErrUnhandledMessage; }

// --- The dispatcher ----------------------------------------------------------------

namespace {

using Handler = ai::Err (*)(Plugin& plugin, void* message);

struct Route {
  const char* caller;
  const char* selector;
  Handler handler;
};

// Adapts a handler taking its own message record type.
template <class Record, ai::Err (Plugin::*Operation)(Record*)>
ai::Err Call(Plugin& plugin, void* message) {
  return (plugin.*Operation)(static_cast<Record*>(message));
}

using Data = ai::PluginMessageData;

// Every caller and selector of the table; the notifier and the special
// cases ("SP Interface", "SP Cache") are handled before it.
const Route kRoutes[] = {
    {ai::kCallerAccess, ai::kSelectorUnload, Call<Data, &Plugin::Unload>},
    {ai::kCallerAccess, ai::kSelectorReload, Call<Data, &Plugin::Reload>},
    {ai::kCallerProperties, ai::kSelectorAcquireProperty, Call<Data, &Plugin::AcquireProperty>},
    {ai::kCallerProperties, ai::kSelectorReleaseProperty, Call<Data, &Plugin::ReleaseProperty>},
    {ai::kCallerActionManager, ai::kSelectorDoAction, Call<Data, &Plugin::OnDoAction>},
    {ai::kCallerMenu, ai::kSelectorGo, Call<ai::MenuMessage, &Plugin::OnMenuGo>},
    {ai::kCallerMenu, ai::kSelectorUpdate, Call<ai::MenuMessage, &Plugin::OnMenuUpdate>},
    {ai::kCallerFilter, ai::kSelectorGetParameters, Call<Data, &Plugin::OnFilterGetParameters>},
    {ai::kCallerFilter, ai::kSelectorGo, Call<Data, &Plugin::OnFilterGo>},
    {ai::kCallerPluginGroup, ai::kSelectorNotifyEdits, Call<Data, &Plugin::OnPluginGroupNotifyEdits>},
    {ai::kCallerPluginGroup, ai::kSelectorUpdate, Call<Data, &Plugin::OnPluginGroupUpdate>},
    {ai::kCallerFileFormat, ai::kSelectorGetParameters, Call<Data, &Plugin::OnFileFormatGetParameters>},
    {ai::kCallerFileFormat, ai::kSelectorGo, Call<Data, &Plugin::OnFileFormatGo>},
    {ai::kCallerFileFormat, ai::kSelectorCheck, Call<Data, &Plugin::OnFileFormatCheck>},
    {ai::kCallerFileFormat, ai::kSelectorFileFormatUpdate, Call<Data, &Plugin::OnFileFormatUpdate>},
    {ai::kCallerFileFormat, ai::kSelectorDoAction, Call<Data, &Plugin::OnFileFormatDoAction>},
    {ai::kCallerTool, ai::kSelectorEditOptions, Call<Data, &Plugin::OnToolEditOptions>},
    {ai::kCallerTool, ai::kSelectorTrackCursor, Call<Data, &Plugin::OnToolTrackCursor>},
    {ai::kCallerTool, ai::kSelectorMouseDown, Call<Data, &Plugin::OnToolMouseDown>},
    {ai::kCallerTool, ai::kSelectorMouseDrag, Call<Data, &Plugin::OnToolMouseDrag>},
    {ai::kCallerTool, ai::kSelectorMouseUp, Call<Data, &Plugin::OnToolMouseUp>},
    {ai::kCallerTool, ai::kSelectorSelect, Call<Data, &Plugin::OnToolSelect>},
    {ai::kCallerTool, ai::kSelectorDeselect, Call<Data, &Plugin::OnToolDeselect>},
    {ai::kCallerTool, ai::kSelectorReselect, Call<Data, &Plugin::OnToolReselect>},
    {ai::kCallerTool, ai::kSelectorDecreaseDiameter, Call<Data, &Plugin::OnToolDecreaseDiameter>},
    {ai::kCallerTool, ai::kSelectorIncreaseDiameter, Call<Data, &Plugin::OnToolIncreaseDiameter>},
    {ai::kCallerLiveEffect, ai::kSelectorLiveEffectEditParameters,
     Call<Data, &Plugin::OnLiveEffectEditParameters>},
    {ai::kCallerLiveEffect, ai::kSelectorLiveEffectGoLive, Call<Data, &Plugin::OnLiveEffectGoLive>},
    {ai::kCallerLiveEffect, ai::kSelectorLiveEffectInterpolateParameters,
     Call<Data, &Plugin::OnLiveEffectInterpolateParameters>},
    {ai::kCallerLiveEffect, ai::kSelectorLiveEffectInputType, Call<Data, &Plugin::OnLiveEffectInputType>},
    {ai::kCallerLiveEffect, ai::kSelectorLiveEffectConvertColorSpace,
     Call<Data, &Plugin::OnLiveEffectConvertColorSpace>},
    {ai::kCallerLiveEffect, ai::kSelectorLiveEffectScaleParameters,
     Call<Data, &Plugin::OnLiveEffectScaleParameters>},
    {ai::kCallerLiveEffect, ai::kSelectorLiveEffectAdjustColors,
     Call<Data, &Plugin::OnLiveEffectAdjustColors>},
    {ai::kCallerLiveEffect, ai::kSelectorLiveEffectHandleMerge, Call<Data, &Plugin::OnLiveEffectHandleMerge>},
    {ai::kCallerTimer, ai::kSelectorGo, Call<ai::TimerMessage, &Plugin::OnTimer>},
    {ai::kCallerClipboard, ai::kSelectorGo, Call<Data, &Plugin::OnClipboardGo>},
    {ai::kCallerClipboard, ai::kSelectorCanCopy, Call<Data, &Plugin::OnClipboardCanCopy>},
    {ai::kCallerClipboard, ai::kSelectorClone, Call<Data, &Plugin::OnClipboardClone>},
    {ai::kCallerClipboard, ai::kSelectorDispose, Call<Data, &Plugin::OnClipboardDispose>},
    {ai::kCallerWorkspace, ai::kSelectorWriteWorkspace, Call<Data, &Plugin::OnWriteWorkspace>},
    {ai::kCallerWorkspace, ai::kSelectorRestoreWorkspace, Call<Data, &Plugin::OnRestoreWorkspace>},
    {ai::kCallerWorkspace, ai::kSelectorDefaultWorkspace, Call<Data, &Plugin::OnDefaultWorkspace>},
};

// Callers and selectors are compared byte for byte: the host's texts are
// exact, and a caller that merely resembles one of them is not that caller.
bool Same(const char* a, const char* b) { return a != nullptr && std::strcmp(a, b) == 0; }

// Keeps the host's application context pushed for the plug-in while the
// notifier handlers run, and pops it however they end.
class AppContextScope {
 public:
  explicit AppContextScope(ai::PluginRef self) {
    if (ai::suite::context != nullptr) error_ = ai::suite::context->PushAppContext(self, &context_);
    pushed_ = ai::suite::context != nullptr && error_ == ai::kNoErr;
  }
  ~AppContextScope() {
    if (pushed_) ai::suite::context->PopAppContext(context_);
  }
  AppContextScope(const AppContextScope&) = delete;
  AppContextScope& operator=(const AppContextScope&) = delete;

  ai::Err error() const { return error_; }

 private:
  ai::AppContext context_ = nullptr;
  ai::Err error_ = ai::kNoErr;
  bool pushed_ = false;
};

}  // namespace

// The base dispatcher. Starts from ErrUnhandledMessage; a caller or selector
// outside the table leaves it. Special cases:
// - "SP Interface" / "About" and "Startup" answer 0 (start-up itself runs
//   from PluginMain before the message reaches the dispatcher);
// - "SP Cache" / "Plug-in Purge" answers ErrPurgeRefused when Purge() is
//   true, else 0;
// - "AI Notifier": with the host's application context pushed, the
//   notifier handle selects OnAppStarted or OnAppShutdown; when their result
//   is 0 or '!MSG' and the selector is "AI Notify", OnNotify runs too. A
//   context that cannot be pushed is the result, and no handler runs.
// Exceptions of the handlers pass through (Message of the system's class
// and PluginMain turn them into codes).
ai::Err Plugin::Message(const char* caller, const char* selector, void* message) {
  ai::Err result = ErrUnhandledMessage;
  if (const ai::Err err = AcquireOptionalSuites(); err != ai::kNoErr) return err;

  if (Same(caller, ai::kCallerInterface)) {
    if (Same(selector, ai::kSelectorAbout) || Same(selector, ai::kSelectorStartup)) result = ai::kNoErr;
    return result;
  }
  if (Same(caller, ai::kCallerCache)) {
    if (Same(selector, ai::kSelectorPurge)) result = Purge() ? ErrPurgeRefused : ai::kNoErr;
    return result;
  }
  if (Same(caller, ai::kCallerNotifier)) {
    auto* notice = static_cast<ai::NotifierMessage*>(message);
    AppContextScope context(self_);
    if (context.error() != ai::kNoErr) return context.error();
    if (notice != nullptr && notice->notifier != nullptr) {
      if (notice->notifier == app_started_notifier_)
        result = OnAppStarted(notice);
      else if (notice->notifier == app_shutdown_notifier_)
        result = OnAppShutdown(notice);
    }
    if ((result == ai::kNoErr || result == ErrUnhandledMessage) && Same(selector, ai::kSelectorNotify))
      result = OnNotify(notice);
    return result;
  }
  for (const Route& route : kRoutes) {
    if (!Same(caller, route.caller)) continue;
    if (Same(selector, route.selector)) return route.handler(*this, message);
  }
  return result;
}
