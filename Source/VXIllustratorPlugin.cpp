#include "VXIllustratorPlugin.h"

#include <new>
#include <stdexcept>
#include <utility>

#include "AIError.h"
#include "AISuites.h"
#include "CSBoilerPlate/menuHandler_win32.h"
#include "ErrorCodes.h"
#include "VXIllustrator.h"

VXIllustratorPlugin::VXIllustratorPlugin(ai::PluginRef self) : Plugin(self) { SetName("VXIllustrator"); }

VXIllustratorPlugin::VXIllustratorPlugin(Saved&& saved) noexcept
    : Plugin(std::move(saved.base)),
      menu_items_(saved.menu_items),
      timer_(saved.timer),
      pending_(std::move(saved.pending)) {}

VXIllustratorPlugin::~VXIllustratorPlugin() = default;

VXIllustratorPlugin* VXIllustratorPlugin::RebuildInPlace(Plugin* survivor) noexcept {
  // A static_cast down a single, non-virtual inheritance only adjusts the
  // address by a constant: it does not read the object's dispatch table.
  auto* old = static_cast<VXIllustratorPlugin*>(survivor);
  Saved saved{old->TakeState(), old->menu_items_, old->timer_, std::move(old->pending_)};
  old->VXIllustratorPlugin::~VXIllustratorPlugin();
  return new (old) VXIllustratorPlugin(std::move(saved));
}

ai::Err VXIllustratorPlugin::Startup(ai::PluginMessageData* message) {
  ai::Err err = ai::kNoErr;
  try {
    err = Plugin::Startup(message);
    if (err == ai::kNoErr) err = pluginStartup(message);
    if (err == ai::kNoErr) CreateReplyWindow();
  } catch (...) {
    DestroyReplyWindow();
    throw;
  }
  if (err != ai::kNoErr) DestroyReplyWindow();
  return err;
}

ai::Err VXIllustratorPlugin::Shutdown(ai::PluginMessageData*) {
  pending_.Drop();
  DestroyReplyWindow();
  return ai::kNoErr;
}

ai::Err VXIllustratorPlugin::Unload(ai::PluginMessageData* message) {
  const ai::Err err = Plugin::Unload(message);
  DestroyReplyWindow();
  return err;
}

ai::Err VXIllustratorPlugin::Reload(ai::PluginMessageData* message) {
  const ai::Err err = Plugin::Reload(message);
  if (err == ai::kNoErr) CreateReplyWindow();
  return err;
}

ai::Err VXIllustratorPlugin::Message(const char* caller, const char* selector, void* message) {
  ai::Err result = ai::kNoErr;
  try {
    result = Plugin::Message(caller, selector, message);
  } catch (const ai::Error& error) {
    result = error.code();
  } catch (...) {
    result = ErrUnexpected;
  }
  if (result == ErrUnhandledMessage) return ai::kNoErr;
  if (result != ai::kNoErr) ReportError(result, caller, selector);
  return result;
}

ai::Err VXIllustratorPlugin::SetGlobal(Plugin* object) {
  SetGlobalPlugin(object);
  return ai::kNoErr;
}

ai::Err VXIllustratorPlugin::OnMenuGo(ai::MenuMessage* message) { return goMenuItem(message); }

ai::Err VXIllustratorPlugin::OnMenuUpdate(ai::MenuMessage* message) { return UpdateAdjustSizeItem(message); }

ai::Err VXIllustratorPlugin::OnTimer(ai::TimerMessage* message) {
  Plugin::OnTimer(message);
  ProcessPendingReply(message != nullptr ? message->d.basic : ai::suite::basic);
  return ai::kNoErr;
}

VXIllustratorPlugin& ThePlugin() {
  auto* plugin = dynamic_cast<VXIllustratorPlugin*>(GlobalPluginPointer());
  if (plugin == nullptr) throw std::runtime_error("global isn't initialized");
  return *plugin;
}
