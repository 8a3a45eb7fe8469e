// Plugin: the generic plug-in frame. It knows every caller and selector the
// host sends, answers each with a default, and turns the host's calls into
// calls of the virtual operations below; the system's own plug-in class
// (VXIllustratorPlugin) overrides the ones it uses.
//
// Results are host error codes: 0 for success, ErrUnhandledMessage ('!MSG')
// for "no handler here" (never handed to the host: the dispatch makes it 0).
// Everything runs on the host's main thread; nothing here locks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "AIHost.h"
#include "SuiteSet.h"

// When a failing host result is reported. The plug-in has no texts to show
// for its codes, so reporting shows nothing; what it decides is remembered
// and returned, so the decision can be observed.
class ErrorReporter {
 public:
  // The codes of the never-reported list ('FMT?', 'RFSE', 'AFTR', 'VALD',
  // 'MOOT', 'TRSH', 'CHEK', 'CHIT', 'TLTK', 'pFls', 'S!Fd', '!Acq', 'dsRP',
  // 'skpE', 'DONE', 'STOP' and the number 361) and 0.
  static bool IsNeverReported(ai::Err code);

  // True when code is reported: it is not never-reported, and it is not the
  // last reported code within the suppression window (5 seconds, measured
  // with vxp::Platform::Default().wall_clock_seconds()). A reported code and
  // its time are remembered.
  bool Report(ai::Err code);

  ai::Err LastCode() const { return last_code_; }
  std::int64_t LastTime() const { return last_time_; }

 private:
  ai::Err last_code_ = 0;
  std::int64_t last_time_ = 0;
  bool suppress_repeats_ = true;
  std::int64_t window_seconds_ = 5;
};

class Plugin {
 public:
  // Longest name, in bytes, without the terminator.
  static constexpr std::size_t kMaxNameLength = 255;

  // Named "Plugin", holding nothing.
  explicit Plugin(ai::PluginRef self);
  // Releases what the object still holds: the keep-loaded hold (while the
  // suites are still held, or through an access suite acquired for it when
  // none are), then the suite holder; clears the process-wide plug-in
  // pointer when it names this object.
  virtual ~Plugin();
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  // --- The virtual operations, in the order of their slots ------------------

  // Called with every non-zero result handed to the host. Returns whether
  // the code was reported (ErrorReporter::Report).
  virtual bool ReportError(ai::Err code, const char* caller, const char* selector);
  // true: counts a hold; the first one asks the host ("SP Access Suite") to
  // keep the plug-in loaded. false: drops one; the last one releases the
  // host's hold. A count below 0 is reset to 0.
  virtual ai::Err KeepLoaded(bool keep);
  // SetGlobal(this); acquires the suites (a failed acquisition is the
  // result, the holder is destroyed again); names the plug-in to the host;
  // adds the "<name> App Started Notifier" and "<name> Application Shutdown
  // Notifier"; StartupHookA, StartupHookB, KeepLoaded(true). The first error
  // ends the sequence and is returned.
  virtual ai::Err Startup(ai::PluginMessageData* message);
  virtual ai::Err OnAppStarted(ai::NotifierMessage* message);
  virtual ai::Err OnAppShutdown(ai::NotifierMessage* message);
  // Releases the suites (destroys the holder), SetGlobal(null).
  virtual ai::Err Shutdown(ai::PluginMessageData* message);
  // PreUnloadHook, SetGlobal(null), releases the suites.
  virtual ai::Err Unload(ai::PluginMessageData* message);
  // SetGlobal(this); acquires the suites when none are held (a failure is
  // the result and leaves none held); StartupHookB.
  virtual ai::Err Reload(ai::PluginMessageData* message);
  virtual ai::Err AcquireProperty(ai::PluginMessageData* message);
  virtual ai::Err ReleaseProperty(ai::PluginMessageData* message);
  // Copies the name into buffer, truncated to size - 1 bytes and terminated
  // (nothing when size is 0); returns the number of bytes copied.
  virtual std::size_t GetName(char* buffer, std::size_t size) const;
  // true: the plug-in refuses to be purged (answered with ErrPurgeRefused).
  virtual bool Purge();
  // The base dispatcher: see Plugin.cpp.
  virtual ai::Err Message(const char* caller, const char* selector, void* message);
  // The base stores nothing; the system's class keeps the process-wide
  // plug-in pointer (SetGlobalPlugin).
  virtual ai::Err SetGlobal(Plugin* object);
  virtual ai::Err StartupHookA(ai::PluginMessageData* message);
  virtual ai::Err StartupHookB(ai::PluginMessageData* message);
  virtual ai::Err PreUnloadHook(ai::PluginMessageData* message);
  // Called at the start of every dispatch; no optional suites are listed.
  virtual ai::Err AcquireOptionalSuites();

  // Handlers: each takes the message record and returns a host code.
  virtual ai::Err OnNotify(ai::NotifierMessage* message);
  virtual ai::Err OnDoAction(ai::PluginMessageData* message);
  virtual ai::Err OnMenuGo(ai::MenuMessage* message);
  virtual ai::Err OnMenuUpdate(ai::MenuMessage* message);
  virtual ai::Err OnFilterGetParameters(ai::PluginMessageData* message);
  virtual ai::Err OnFilterGo(ai::PluginMessageData* message);
  virtual ai::Err OnPluginGroupNotifyEdits(ai::PluginMessageData* message);
  virtual ai::Err OnPluginGroupUpdate(ai::PluginMessageData* message);
  virtual ai::Err OnFileFormatGetParameters(ai::PluginMessageData* message);
  virtual ai::Err OnFileFormatGo(ai::PluginMessageData* message);
  virtual ai::Err OnFileFormatCheck(ai::PluginMessageData* message);
  virtual ai::Err OnFileFormatUpdate(ai::PluginMessageData* message);
  virtual ai::Err OnFileFormatDoAction(ai::PluginMessageData* message);
  virtual ai::Err OnToolEditOptions(ai::PluginMessageData* message);
  virtual ai::Err OnToolTrackCursor(ai::PluginMessageData* message);
  virtual ai::Err OnToolMouseDown(ai::PluginMessageData* message);
  virtual ai::Err OnToolMouseDrag(ai::PluginMessageData* message);
  virtual ai::Err OnToolMouseUp(ai::PluginMessageData* message);
  virtual ai::Err OnToolSelect(ai::PluginMessageData* message);
  virtual ai::Err OnToolDeselect(ai::PluginMessageData* message);
  virtual ai::Err OnToolReselect(ai::PluginMessageData* message);
  virtual ai::Err OnToolDecreaseDiameter(ai::PluginMessageData* message);
  virtual ai::Err OnToolIncreaseDiameter(ai::PluginMessageData* message);
  virtual ai::Err OnLiveEffectEditParameters(ai::PluginMessageData* message);
  virtual ai::Err OnLiveEffectGoLive(ai::PluginMessageData* message);
  virtual ai::Err OnLiveEffectInterpolateParameters(ai::PluginMessageData* message);
  virtual ai::Err OnLiveEffectInputType(ai::PluginMessageData* message);
  virtual ai::Err OnLiveEffectConvertColorSpace(ai::PluginMessageData* message);
  virtual ai::Err OnLiveEffectScaleParameters(ai::PluginMessageData* message);
  virtual ai::Err OnLiveEffectAdjustColors(ai::PluginMessageData* message);
  virtual ai::Err OnLiveEffectHandleMerge(ai::PluginMessageData* message);
  virtual ai::Err OnTimer(ai::TimerMessage* message);
  virtual ai::Err OnClipboardGo(ai::PluginMessageData* message);
  virtual ai::Err OnClipboardCanCopy(ai::PluginMessageData* message);
  virtual ai::Err OnClipboardClone(ai::PluginMessageData* message);
  virtual ai::Err OnClipboardDispose(ai::PluginMessageData* message);
  virtual ai::Err OnWriteWorkspace(ai::PluginMessageData* message);
  virtual ai::Err OnRestoreWorkspace(ai::PluginMessageData* message);
  virtual ai::Err OnDefaultWorkspace(ai::PluginMessageData* message);

  // --- State (non-virtual) --------------------------------------------------

  const char* Name() const { return name_; }
  ai::PluginRef Self() const { return self_; }
  bool HoldsSuites() const { return suites_ != nullptr; }
  int KeepLoadedCount() const { return keep_loaded_count_; }
  ai::NotifierHandle AppStartedNotifier() const { return app_started_notifier_; }
  ai::NotifierHandle AppShutdownNotifier() const { return app_shutdown_notifier_; }
  const ErrorReporter& ErrorMemory() const { return errors_; }

 protected:
  // Everything a Plugin holds, for rebuilding an object in place (see
  // VXIllustratorPlugin::RebuildInPlace).
  struct State {
    char name[kMaxNameLength + 1];
    ai::PluginRef self;
    std::unique_ptr<SuiteSet> suites;
    int keep_loaded_count;
    ai::AccessRef access;
    ErrorReporter errors;
  };

  // Takes over a State; the notifier handles start cleared.
  explicit Plugin(State&& state);
  // Moves everything out; this object then holds nothing (no suites, no
  // keep-loaded hold), so destroying it has no effect on the host.
  State TakeState() noexcept;

  // Sets the name, truncated to kMaxNameLength bytes.
  void SetName(const char* name);
  // Releases the suites (destroys the holder) if any are held.
  void ReleaseSuites();

 private:
  char name_[kMaxNameLength + 1];
  ai::PluginRef self_;
  std::unique_ptr<SuiteSet> suites_;
  int keep_loaded_count_ = 0;
  ai::AccessRef access_ = nullptr;
  ErrorReporter errors_;
  ai::NotifierHandle app_started_notifier_ = nullptr;
  ai::NotifierHandle app_shutdown_notifier_ = nullptr;
};

// The process-wide plug-in object. GlobalPlugin throws
// std::runtime_error("global isn't initialized") while none is set.
Plugin& GlobalPlugin();
Plugin* GlobalPluginPointer();
void SetGlobalPlugin(Plugin* object);
