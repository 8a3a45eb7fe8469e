// What the plug-in adds to the generic frame at start-up: the one-time
// initialisation (display unit, the host timer that hands Veloxa's answers
// on, the reply window), the plug-in's menu and its commands.
//
// The menu: in the host group "Place Document", a separator and the item
// "Veloxa", which opens the group "Veloxa Group" with "About Veloxa...",
// "Show Job List Window", a separator, "Job Details / Export..." and
// "AdjustSize..." (the four texts localised through the "Illustrator"
// string table). Every item is added with the item key "Veloxa Group".
//
// Every function runs inside a host message of the started plug-in and
// writes DEBUG records as the source "Source\VXIllustrator".
#pragma once

#include "AIHost.h"
#include "utils/ustring.h"

inline constexpr char kPlaceDocumentGroup[] = "Place Document";
inline constexpr char kVeloxaGroup[] = "Veloxa Group";
inline constexpr char kVeloxaTimerName[] = "VeloxaTimer";
// Host ticks between two timer calls: the host counts 60 a second.
inline constexpr std::int32_t kVeloxaTimerPeriod = 60;

// VXIllustratorInit, then the menu: ErrNotImplemented when the
// initialisation failed, else the result of addMenu.
ai::Err pluginStartup(ai::PluginMessageData* message);

// Takes up VXILLUSTRATOR_LOG (SupportLog.h) on every start-up. Once per
// process: millimetres become the display unit, the timer
// "VeloxaTimer" (period 60) is added and activated (its handle kept by the
// plug-in object), and the reply window is made. Only a timer suite that
// cannot be acquired fails it (false; it is tried again at the next
// start-up); timer and window failures are logged and leave the plug-in
// running without them.
bool VXIllustratorInit(ai::PluginRef self, ai::BasicSuite* basic);
// Forgets that the initialisation ran, as a fresh load of the module would
// (tests that start the plug-in more than once in one process).
void ForgetVXIllustratorInit();

// Adds the plug-in's menu, keeping the four item handles in the plug-in
// object. A submenu group that cannot be made is the result; failures of
// single items are only logged.
ai::Err addMenu();
// Adds one item (a separator: empty text, option 4) to group; the new
// item's handle, or null (logged) on failure.
ai::MenuItemHandle menu_add(const char* group, const ustring& text, std::int32_t option);

// "AI Menu" / "AI Go": runs the command of the plug-in's item ("About
// Veloxa...", "Show Job List Window", "Job Details / Export...", and
// "AdjustSize...": AdjustDocument(true, true)); other items do nothing. 0, or
// the error of AcquireOptionalSuites.
ai::Err goMenuItem(ai::MenuMessage* message);
// "AI Menu" / "AI Update": enables "AdjustSize..." when the current
// document holds a job, else disables it; other items are left alone.
// Always 0.
ai::Err UpdateAdjustSizeItem(ai::MenuMessage* message);

// Whether a document is open and holds a stored job that reads back
// (CreateFromDocumentSLUG); a damaged stored job counts as none.
bool DocumentHasJob();

void SendAboutRequest();
void SendJobListRequest();
// The job details request: the job BuildDetailsRequest writes, as
// DetailsForDocument while a document is open, else as Details.
void SendDetailsRequest();
