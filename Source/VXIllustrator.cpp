#include "VXIllustrator.h"

#include <sstream>

#include "AIError.h"
#include "AISuites.h"
#include "AIUnicodeString.h"
#include "CSBoilerPlate/menuHandler_win32.h"
#include "DocumentJob.h"
#include "Documents.h"
#include "ErrorCodes.h"
#include "HostDocument.h"
#include "Requests.h"
#include "SupportLog.h"
#include "VXIllustratorPlugin.h"
#include "datastruct/BJobFile.h"
#include "utils/Logger.h"
#include "utils/UUnits.h"
#include "utils/ustring_load.h"

namespace {

constexpr const char* kSourceFile = "Source\\VXIllustrator";
constexpr vxu::LogSite kSiteInitResult{kSourceFile, 1262, "pluginStartup"};
constexpr vxu::LogSite kSiteTimerAdded{kSourceFile, 86, "VXIllustratorInit"};
constexpr vxu::LogSite kSiteTimerActivated{kSourceFile, 90, "VXIllustratorInit"};
constexpr vxu::LogSite kSiteSubmenuFailed{kSourceFile, 142, "addMenu"};
constexpr vxu::LogSite kSiteItemFailed{kSourceFile, 118, "menu_add"};
constexpr vxu::LogSite kSiteMenuGo{kSourceFile, 1292, "goMenuItem"};

// The string table of the menu texts.
constexpr char kStringTable[] = "Illustrator";

bool initialised = false;

ustring Localised(const char* english) { return ustring_load(english, kStringTable); }

}  // namespace

ai::Err pluginStartup(ai::PluginMessageData* message) {
  const bool ok = VXIllustratorInit(message->self, message->basic);
  VX_LOG(vxu::eLogLevel_Debug, kSiteInitResult) << "init res = " << ok;
  if (!ok) return ErrNotImplemented;
  return addMenu();
}

bool VXIllustratorInit(ai::PluginRef self, ai::BasicSuite* basic) {
  StartSupportLog();
  if (initialised) return true;
  set_display_units(UUnits(UUnits::eUnit_Millimeters));

  ai::AcquiredSuite<ai::TimerSuite> timers(basic, ai::kTimerSuite, ai::kTimerSuiteVersion);
  if (!timers) return false;

  ai::TimerHandle& timer = ThePlugin().Timer();
  timer = nullptr;
  const ai::Err added = timers->AddTimer(self, kVeloxaTimerName, kVeloxaTimerPeriod, &timer);
  VX_LOG(vxu::eLogLevel_Debug, kSiteTimerAdded) << "timer err = " << static_cast<int>(added);
  if (added != ai::kNoErr) timer = nullptr;
  // Activated whatever the outcome: the host answers a null handle with its
  // error, which the record shows beside the first one.
  const ai::Err activated = timers->SetTimerActive(timer, true);
  VX_LOG(vxu::eLogLevel_Debug, kSiteTimerActivated) << "activate timer err = " << static_cast<int>(activated);

  CreateReplyWindow();
  initialised = true;
  return true;
}

void ForgetVXIllustratorInit() { initialised = false; }

ai::MenuItemHandle menu_add(const char* group, const ustring& text, std::int32_t option) {
  ai::MenuItemHandle item = nullptr;
  ai::Err err = ai::kNoErr;
  try {
    ai::UnicodeString host_text(text.view());
    if (ai::suite::menu == nullptr) throw ai::Error(ai::kSuiteNotFoundErr);
    err =
        ai::suite::menu->AddMenuItem(ThePlugin().Self(), kVeloxaGroup, group, host_text.get(), option, &item);
  } catch (const ai::Error& error) {
    err = error.code();
  }
  if (err != ai::kNoErr) {
    VX_LOG(vxu::eLogLevel_Debug, kSiteItemFailed)
        << "addmenu error (" << static_cast<int>(err) << ") (agroup=" << group << ", txt=" << text << ")";
    return nullptr;
  }
  return item;
}

ai::Err addMenu() {
  VXMenuItems& items = ThePlugin().MenuItems();
  menu_add(kPlaceDocumentGroup, "", ai::kMenuItemIsSeparator);
  const ai::MenuItemHandle veloxa = menu_add(kPlaceDocumentGroup, "Veloxa", 0);

  ai::MenuGroupHandle group = nullptr;
  ai::Err err = ai::kBadParameterErr;  // no item to open the group from
  if (veloxa != nullptr) {
    if (ai::suite::menu == nullptr) throw ai::Error(ai::kSuiteNotFoundErr);
    err = ai::suite::menu->AddMenuGroupAsSubMenu(kVeloxaGroup, 0, veloxa, &group);
  }
  if (err != ai::kNoErr) {
    VX_LOG(vxu::eLogLevel_Debug, kSiteSubmenuFailed) << "submenu add error (" << static_cast<int>(err) << ")";
    return err;
  }

  items.about = menu_add(kVeloxaGroup, Localised("About Veloxa..."), 0);
  items.jobList = menu_add(kVeloxaGroup, Localised("Show Job List Window"), 0);
  menu_add(kVeloxaGroup, "", ai::kMenuItemIsSeparator);
  items.details = menu_add(kVeloxaGroup, Localised("Job Details / Export..."), 0);
  items.adjustSize = menu_add(kVeloxaGroup, Localised("AdjustSize..."), ai::kMenuItemWantsUpdate);
  return ai::kNoErr;
}

ai::Err goMenuItem(ai::MenuMessage* message) {
  VX_LOG(vxu::eLogLevel_Debug, kSiteMenuGo) << "goMenuItem";
  VXIllustratorPlugin& plugin = ThePlugin();
  if (const ai::Err err = plugin.AcquireOptionalSuites(); err != ai::kNoErr) return err;
  // Items that were not added are null; a message for no item matches none.
  const ai::MenuItemHandle item = message != nullptr ? message->menuItem : nullptr;
  if (item == nullptr) return ai::kNoErr;
  const VXMenuItems& items = plugin.MenuItems();
  if (item == items.about) {
    SendAboutRequest();
  } else if (item == items.jobList) {
    SendJobListRequest();
  } else if (item == items.details) {
    SendDetailsRequest();
  } else if (item == items.adjustSize) {
    AdjustDocument(true, true);
  }
  return ai::kNoErr;
}

ai::Err UpdateAdjustSizeItem(ai::MenuMessage* message) {
  const ai::MenuItemHandle adjust = ThePlugin().MenuItems().adjustSize;
  if (message == nullptr || adjust == nullptr || message->menuItem != adjust) return ai::kNoErr;
  if (ai::suite::menu == nullptr) throw ai::Error(ai::kSuiteNotFoundErr);
  if (DocumentHasJob())
    ai::check(ai::suite::menu->EnableItem(adjust));
  else
    ai::check(ai::suite::menu->DisableItem(adjust));
  return ai::kNoErr;
}

bool DocumentHasJob() {
  if (!DocumentIsOpen()) return false;
  BJobFile job;
  return CreateFromDocumentSLUG(job);
}

void SendAboutRequest() { SendRequest({}, eRequestKind_About); }

void SendJobListRequest() { SendRequest({}, eRequestKind_JobList); }

void SendDetailsRequest() {
  std::ostringstream job;
  BuildDetailsRequest(job);
  SendRequest(job.str(), DocumentIsOpen() ? eRequestKind_DetailsForDocument : eRequestKind_Details);
}
