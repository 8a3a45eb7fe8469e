// PluginMain: the plug-in module's only export, through which the host
// sends every message.
#pragma once

#include "AIHost.h"

// Turns the host's call into the plug-in object's operations and returns the
// host error code (0 for success):
// - "SP Interface" / "Startup" makes the plug-in object, keeps it in the
//   message's globals slot and starts it; a failed start-up destroys it
//   again and clears the slot (ErrOutOfMemory when it cannot be made).
// - "SP Interface" / "Shutdown" shuts the object down and destroys it; 0
//   without an object.
// - "SP Access" / "Reload" re-establishes the object that waited in the
//   slot and reloads it; any other call goes to the object's Message while it
//   holds its suites, else gives 0.
// '!MSG' becomes 0; any other non-zero result is reported. No exception
// leaves: ai::Error becomes its code, anything else ErrUnexpected.
extern "C" ai::Err PluginMain(const char* caller, const char* selector, void* message);
