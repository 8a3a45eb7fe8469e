// VXIllustratorPlugin: the system's plug-in object. It adds to the generic
// frame (Plugin) the start-up of the plug-in (VXIllustrator.h), its menu
// commands and menu updates, the timer that hands Veloxa's answers on, and
// the hidden reply window (CSBoilerPlate/menuHandler_win32.h).
//
// One object lives from a successful "SP Interface" / "Startup" until
// "SP Interface" / "Shutdown" (PluginMain owns it through the host's globals
// slot); between "SP Access" / "Unload" and "Reload" it waits there without
// suites or reply window.
#pragma once

#include "AIHost.h"
#include "CSBoilerPlate/PendingReply.h"
#include "Plugin.h"

// The handles of the plug-in's own menu items (null: not added).
struct VXMenuItems {
  ai::MenuItemHandle about = nullptr;       // "About Veloxa..."
  ai::MenuItemHandle jobList = nullptr;     // "Show Job List Window"
  ai::MenuItemHandle details = nullptr;     // "Job Details / Export..."
  ai::MenuItemHandle adjustSize = nullptr;  // "AdjustSize..."
};

class VXIllustratorPlugin : public Plugin {
 public:
  // Named "VXIllustrator", with no menu items, timer or pending answer.
  explicit VXIllustratorPlugin(ai::PluginRef self);
  ~VXIllustratorPlugin() override;

  // The base start-up, then pluginStartup, then the reply window; the first
  // non-zero result is returned. A failed start-up (a result or an
  // exception) destroys the reply window and unregisters its class again;
  // destroying the object then releases the rest (Plugin::~Plugin).
  ai::Err Startup(ai::PluginMessageData* message) override;
  // Drops the pending answer, destroys the reply window and unregisters its
  // class. The suites stay held until the object is destroyed.
  ai::Err Shutdown(ai::PluginMessageData* message) override;
  // The base unload, then the reply window goes: the module may be unloaded
  // next, and the window's procedure with it.
  ai::Err Unload(ai::PluginMessageData* message) override;
  // The base reload; when it succeeds, the reply window is created again.
  ai::Err Reload(ai::PluginMessageData* message) override;
  // The base dispatcher with every exception turned into a code (ai::Error:
  // its code; anything else: ErrUnexpected); '!MSG' becomes 0, any other
  // non-zero result is reported (ReportError) and returned.
  ai::Err Message(const char* caller, const char* selector, void* message) override;
  // Keeps object as the process-wide plug-in (SetGlobalPlugin).
  ai::Err SetGlobal(Plugin* object) override;
  ai::Err OnMenuGo(ai::MenuMessage* message) override;
  ai::Err OnMenuUpdate(ai::MenuMessage* message) override;
  // Hands the pending answer on (ProcessPendingReply); always 0.
  ai::Err OnTimer(ai::TimerMessage* message) override;

  VXMenuItems& MenuItems() { return menu_items_; }
  ai::TimerHandle& Timer() { return timer_; }
  PendingReply& Pending() { return pending_; }

  // Re-establishes the object that waited in the globals slot across an
  // unload. Its module may have been unloaded and loaded again meanwhile, so
  // its virtual dispatch may point into code that is gone: the object's data
  // is moved out with non-virtual calls, the object destroyed by a qualified
  // (non-virtual) destructor call and built again at the same address from
  // that data, with the two notifier handles cleared. Returns the object
  // (same address as survivor), which must be a VXIllustratorPlugin.
  static VXIllustratorPlugin* RebuildInPlace(Plugin* survivor) noexcept;

 private:
  struct Saved {
    Plugin::State base;
    VXMenuItems menu_items;
    ai::TimerHandle timer;
    PendingReply pending;
  };
  explicit VXIllustratorPlugin(Saved&& saved) noexcept;

  VXMenuItems menu_items_;
  ai::TimerHandle timer_ = nullptr;
  PendingReply pending_;
};

// The process-wide plug-in as the system's class. Throws
// std::runtime_error("global isn't initialized") while there is none.
VXIllustratorPlugin& ThePlugin();
