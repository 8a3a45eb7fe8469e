#include "PluginMain.h"

#include <cstring>
#include <new>

#include "AIError.h"
#include "AISuites.h"
#include "ErrorCodes.h"
#include "VXIllustratorPlugin.h"

#if defined(_WIN32)
#define VX_PLUGIN_EXPORT __declspec(dllexport)
#else
#define VX_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

namespace {

bool Same(const char* a, const char* b) { return a != nullptr && std::strcmp(a, b) == 0; }

// The report memory of results that arrive while there is no object.
ErrorReporter& ReporterWithoutObject() {
  static ErrorReporter reporter;
  return reporter;
}

// Runs one operation of the object, turning what it throws into a code:
// Startup, Shutdown and Reload are called outside Message.
template <class Operation>
ai::Err Guarded(Operation&& operation) {
  try {
    return operation();
  } catch (const ai::Error& error) {
    return error.code();
  } catch (...) {
    return ErrUnexpected;
  }
}

ai::Err Dispatch(const char* caller, const char* selector, ai::PluginMessageData* message) {
  ai::suite::basic = message->basic;
  Plugin* object = static_cast<Plugin*>(message->globals);
  ai::Err result = ai::kNoErr;

  if (Same(caller, ai::kCallerInterface) && Same(selector, ai::kSelectorStartup)) {
    auto* created = new (std::nothrow) VXIllustratorPlugin(message->self);
    if (created == nullptr) {
      result = ErrOutOfMemory;
    } else {
      message->globals = created;
      object = created;
      result = Guarded([&] { return created->Startup(message); });
      if (result != ai::kNoErr) {
        delete created;
        message->globals = nullptr;
        object = nullptr;
      }
    }
  } else if (Same(caller, ai::kCallerInterface) && Same(selector, ai::kSelectorShutdown) &&
             object != nullptr) {
    result = Guarded([&] { return object->Shutdown(message); });
    delete object;
    message->globals = nullptr;
    object = nullptr;
  }

  if (object != nullptr) {
    if (Same(caller, ai::kCallerAccess) && Same(selector, ai::kSelectorReload)) {
      object = VXIllustratorPlugin::RebuildInPlace(object);
      message->globals = object;
      result = Guarded([&] { return object->Reload(message); });
    } else if (object->HoldsSuites()) {
      result = Guarded([&] { return object->Message(caller, selector, message); });
    } else {
      result = ai::kNoErr;
    }
  }

  if (result == ErrUnhandledMessage) result = ai::kNoErr;
  if (result != ai::kNoErr) {
    if (object != nullptr)
      object->ReportError(result, caller, selector);
    else
      ReporterWithoutObject().Report(result);
  }
  return result;
}

}  // namespace

extern "C" VX_PLUGIN_EXPORT ai::Err PluginMain(const char* caller, const char* selector, void* message) {
  if (message == nullptr) return ai::kBadParameterErr;
  try {
    return Dispatch(caller, selector, static_cast<ai::PluginMessageData*>(message));
  } catch (const ai::Error& error) {
    return error.code();
  } catch (...) {
    return ErrUnexpected;
  }
}
