// HostModel: an in-memory illustration program that a plug-in runs against.
//
// The model fills every suite of AIHost.h and keeps what the plug-in does to
// it: menus, timers, notifiers, documents with their dictionaries, art and
// artboards, played actions, alerts, suite acquisitions and every message
// sent to the plug-in. vxhost drives a loaded plug-in module with it; tests
// and fuzz targets drive a PluginMain function of their own in-process.
//
// Suite functions are plain C functions without a context argument, so they
// reach the model through a process-wide pointer: at most one HostModel
// exists at a time (constructing a second one throws std::logic_error).
// Everything runs on one thread; nothing here locks.
//
// Handles given to the plug-in are checked on every call: a handle the host
// never gave out, or one already disposed of, fails with kBadParameterErr
// instead of being dereferenced. Menu items, groups, timers, notifiers,
// documents and art stay allocated until the model is destroyed, so a stale
// handle of theirs is never mistaken for a newer object.
//
// Failure injection: fail(operation, code) makes a host operation, named as
// in AIHost.h's tables ("AddMenuItem", "GetDocument"), fail from now on with
// the code, before it changes anything. "AcquireSuite" fails every suite,
// "AcquireSuite:<suite name>" one suite; "PlayActionEvent:<event>" fails one
// action (it is still recorded, with that result). "GetDictionary", which
// the document and the art suite share, fails both; "GetDictionary:AI
// Document Suite" and "GetDictionary:AI Art Suite" fail one of them.
//
// Actions: "adobe_makeGuide" turns the selected paths of the current
// document into guides; "adobe_saveACopyAs" writes the current document as
// a one-page PDF (HostActions.h). Other events fail with kBadParameterErr.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "AIHost.h"
#include "platform/WindowSystem.h"

namespace vxsim {

// Errors of this host beyond those AIHost.h names.
inline constexpr ai::Err kNoFilePathErr = ai::FourCC("PTH?");       // the document was never saved
inline constexpr ai::Err kNotLoadedErr = ai::FourCC("LDD?");        // no plug-in entry point to call
inline constexpr ai::Err kLockedArtErr = ai::FourCC("LCK!");        // locked art cannot be disposed of
inline constexpr ai::Err kNothingSelectedErr = ai::FourCC("SEL?");  // an action needs selected art
inline constexpr ai::Err kCannotWriteErr = ai::FourCC("WRT!");      // a file could not be written

// Host ticks per second of the host clock.
inline constexpr int kTicksPerSecond = 60;

// The window class of the host's main window (found by plug-ins that bring
// the host to the front).
inline constexpr const char* kMainWindowClass = "illustrator";

// Answer code that only asks for the host to come to the front.
inline constexpr std::uint64_t kBringToFrontCode = 42609;

// The host's own menu groups, present before any plug-in starts.
inline constexpr const char* kHostMenuGroups[] = {"Place Document", "Open Document", "Save",
                                                  "Document Utility", "Help"};

struct DictionaryEntry {
  enum Type { eType_Binary, eType_Boolean };
  Type type = eType_Binary;
  std::string bytes;  // eType_Binary
  bool flag = false;  // eType_Boolean
};
// Entries by key text.
using Dictionary = std::map<std::string, DictionaryEntry>;

// What the host keeps of a colour profile made from bytes.
struct ProfileInfo {
  std::uint64_t size = 0;
  std::uint64_t digest = 0;  // FNV-1a, 64 bits, of the bytes
};
std::uint64_t fnv1a64(const void* bytes, std::size_t size);

// How a path prints: grey levels from 0 (black) to 1 (white); no value
// paints nothing. Art a plug-in makes gets the host's default style, a
// white fill and a black stroke of one point, as new art does in the
// illustration program.
struct ArtPaint {
  std::optional<double> fill = 1.0;
  std::optional<double> stroke = 0.0;
  double stroke_width = 1;
};

// One Set* call on an action parameter block.
struct ActionParam {
  enum Type { eType_Integer, eType_Real, eType_Boolean, eType_String, eType_Enumerated };
  std::int32_t key = 0;
  Type type = eType_Integer;
  std::int64_t integer = 0;  // integer, boolean (0/1), enumerated
  double real = 0;
  std::string text;       // string
  std::string type_name;  // enumerated
};
const char* action_param_type_name(ActionParam::Type type);

// What one "adobe_saveACopyAs" did.
struct SaveRecord {
  std::optional<std::string> path;  // the 'name' parameter, when it was a string
  bool written = false;             // the file is there, complete
  int minor_version = 0;            // written: PDF 1.<minor_version>
  double width = 0;                 // written: the page size in points
  double height = 0;
  std::string error;  // not written: why
};

struct PlayedAction {
  std::string event;
  std::int32_t dialog_status = 0;
  std::vector<ActionParam> params;
  // SyncBeforeAction was called since the previous action was played.
  bool synced = false;
  ai::Err result = 0;
  // The save's outcome, once the effect of "adobe_saveACopyAs" has run (not
  // when an injected failure stopped the action before it).
  std::optional<SaveRecord> save;
};

// An action's effect on the model; its result is the action's result. It
// may note what it did in the action's record. The constructor installs the
// effects of "adobe_makeGuide" and "adobe_saveACopyAs" (HostActions.h);
// set_action_effect replaces them.
class HostModel;
using ActionEffect = std::function<ai::Err(HostModel& host, PlayedAction& action)>;

struct MessageRecord {
  std::string caller;
  std::string selector;
  ai::Err result = 0;
};

struct SuiteEvent {
  bool acquire = true;  // false: release
  std::string name;
  std::int32_t version = 0;
  ai::Err result = 0;
};

struct SuiteCount {
  std::string name;
  std::int32_t version = 0;
  std::uint64_t acquired = 0;
  std::uint64_t released = 0;
};

// A window message from another process that reached a plug-in window.
struct AnswerRecord {
  std::uint64_t code = 0;
  std::uint32_t size = 0;
  std::int64_t result = 0;
  bool taken = false;  // a timer tick reached the plug-in while it was parked
};

// What became of one bring-to-front request (answer code 42609).
enum FrontOutcome {
  eFront_None,
  eFront_Hung,
  eFront_Restored,
  eFront_AlreadyFront,
  eFront_Activated,
};
const char* front_outcome_name(FrontOutcome outcome);

// Counts of objects the plug-in holds and has not given back.
struct LiveCounts {
  std::size_t strings = 0;
  std::size_t file_paths = 0;
  std::size_t blocks = 0;
  std::size_t dictionaries = 0;
  std::size_t param_blocks = 0;
  std::size_t art_arrays = 0;
  std::size_t artboard_lists = 0;
  std::size_t artboard_properties = 0;
  std::size_t profiles = 0;
  std::size_t contexts = 0;
  std::size_t access = 0;
};

// What DocumentListSuite::New received, for the report.
struct NewDocumentRecord {
  std::string preset_name;
  std::int32_t dialog_status = 0;
  std::string title;
  ai::NewDocumentPreset preset{};
};

}  // namespace vxsim

// The objects behind the host's opaque handles.
namespace ai {

struct PluginData {
  std::string name;
};
struct AccessData {};
struct NotifierData {
  std::string name;
  std::string type;
  std::uint64_t notified = 0;
};
struct TimerData {
  std::string name;
  std::int32_t period = 0;
  bool active = true;
  std::int32_t countdown = 0;  // ticks until the next "AI Go" while active
  std::uint64_t fired = 0;
};
struct MenuGroupData {
  std::string name;
  bool host_owned = false;
  MenuItemData* parent = nullptr;  // the item it opens from (a submenu)
  std::int32_t options = 0;
  bool removed = false;  // taken off the menu with the plug-in that added it
};
struct MenuItemData {
  std::string key;
  std::string group;
  std::string text;
  std::int32_t options = 0;
  bool enabled = true;
  MenuGroupData* submenu = nullptr;
  std::uint64_t updates = 0;
  std::uint64_t picks = 0;
};
struct AppContextData {};
struct UnicodeStringData {
  std::string text;
};
struct FilePathData {
  std::string path;
};
struct DictKeyData {
  std::string text;
};
struct DictionaryData {
  std::shared_ptr<vxsim::Dictionary> dictionary;
};
struct ArtData {
  DocumentData* document = nullptr;
  bool alive = true;
  std::int16_t type = 0;
  std::int16_t paint_order = 0;
  std::int32_t attributes = 0;  // kArtAttr_* bits
  bool closed = false;
  bool guide = false;  // turned into a guide by "adobe_makeGuide"; guides do not print
  vxsim::ArtPaint paint;
  std::vector<PathSegment> segments;
  std::shared_ptr<vxsim::Dictionary> dictionary = std::make_shared<vxsim::Dictionary>();
};
struct DocumentData {
  bool open = true;
  std::optional<std::string> path;
  double width = 0;
  double height = 0;
  std::vector<RealRect> artboards;
  std::shared_ptr<vxsim::Dictionary> dictionary = std::make_shared<vxsim::Dictionary>();
  std::vector<ArtData*> art;                                  // bottom to top
  std::array<std::optional<vxsim::ProfileInfo>, 3> profiles;  // rgb, cmyk, gray
  bool profiles_set = false;
  bool modified = false;
  bool synced = false;  // SyncBeforeAction since the last action
  std::optional<vxsim::NewDocumentRecord> created_by_plugin;
};
struct ArtboardListData {
  DocumentData* document = nullptr;
};
struct ArtboardPropertiesData {
  RealRect bounds{};
};
struct ActionParamsData {
  std::vector<vxsim::ActionParam> params;
};
struct ColorProfileData {
  vxsim::ProfileInfo info;
};

}  // namespace ai

namespace vxsim {

class HostModel {
 public:
  HostModel();
  ~HostModel();
  HostModel(const HostModel&) = delete;
  HostModel& operator=(const HostModel&) = delete;

  // The live model, or null.
  static HostModel* current();

  // --- Configuration ------------------------------------------------------

  void set_major_version(std::int32_t version) { major_version_ = version; }
  std::int32_t major_version() const { return major_version_; }

  // A folder that FoldersSuite::FindFolder gives for kind (kFolder_*).
  void set_folder(std::int32_t kind, std::string path) { folders_[kind] = std::move(path); }

  // Makes operation fail with code from now on; code 0 lets it succeed
  // again. False (and nothing changes) for a name the host does not know.
  bool fail(const std::string& operation, ai::Err code);
  static bool is_known_operation(const std::string& operation);
  // Every operation of the suite tables by its plain name, in table order.
  static std::vector<std::string> operations();

  // Installs the model side of an action (null: recorded only).
  void set_action_effect(const std::string& event, ActionEffect effect);

  // --- The plug-in --------------------------------------------------------

  // The entry point messages go to; null detaches (the module is unloaded).
  void attach(ai::PluginMainFunction main) { main_ = main; }
  bool attached() const { return main_ != nullptr; }

  // Calls PluginMain with the header of message filled in (check word,
  // plug-in reference, globals slot, basic suite), keeps the globals the
  // plug-in leaves and records the call. kNotLoadedErr when detached.
  ai::Err send(const char* caller, const char* selector, ai::PluginMessageData* message);

  // "SP Interface"/"Startup"; the plug-in counts as started when it answers 0.
  // "SP Interface"/"Shutdown" to a started plug-in (0 otherwise).
  //
  // When the plug-in stops running (it was shut down, or its start-up
  // failed) the host takes the menu items and groups it added off the menu,
  // as it does with the rest of a plug-in that is gone: their handles are
  // stale from then on and their group names free, so a plug-in started
  // again adds its menu anew. They stay in menu_items() and menu_groups()
  // for the report. Timers and notifiers stay; a plug-in started again in
  // the same process hears them.
  ai::Err startup();
  ai::Err shutdown();
  // "SP Access"/"Unload" and "SP Access"/"Reload". While unloaded the plug-in
  // gets no timer ticks and no menu picks.
  ai::Err unload();
  ai::Err reload();
  bool started() const { return started_; }
  bool unloaded() const { return unloaded_; }
  // True when the plug-in holds an access reference (stays loaded).
  bool holds_access() const { return !access_.empty(); }

  // "AI Notifier"/"AI Notify" for every notifier of that type.
  void notify(const char* type);

  // "AI Menu"/"AI Update" for every item that asked for updates.
  void update_menus();
  // The first item on the menu with that text that is not a separator,
  // else the first one taken off the menu (for reports), or null.
  ai::MenuItemData* find_item(const std::string& text) const;
  // Updates the menus, then "AI Menu"/"AI Go" for the item. False with the
  // reason when the item is missing, opens a submenu, is disabled after the
  // update, or the plug-in is unloaded; *result is the plug-in's answer.
  bool pick(ai::MenuItemData* item, std::string* why, ai::Err* result = nullptr);

  // Advances the host clock by ticks: every active timer counts down and
  // fires "AI Timer"/"AI Go" when its period has passed. Returns the number
  // of timer messages sent.
  std::uint64_t advance_ticks(std::uint64_t ticks);
  // One timer tick now: every active timer fires once and starts its
  // period again. Returns the number of timer messages sent.
  std::uint64_t tick_now();
  // Ticks until the next active timer fires; 0 when none is active.
  std::uint64_t ticks_to_next_timer() const;
  std::uint64_t host_ticks() const { return host_ticks_; }

  // --- Documents (the user's side) ----------------------------------------

  // A new document of width x height points that becomes current; one
  // artboard from (0, 0) to (width, height), y growing upward.
  ai::DocumentData* new_document(double width, double height, std::optional<std::string> path);
  // A closed path of four corners (x, y), (x + w, y), (x + w, y + h),
  // (x, y + h) above all art of the current document, filled with the grey
  // level and not stroked: printing art as the user draws it. Null when no
  // document is open.
  ai::ArtData* add_rectangle(double x, double y, double w, double h, double grey);
  // Closes the current document; the most recently opened remaining one
  // becomes current. False when none is open.
  bool close_document();
  ai::DocumentData* current_document() const { return current_; }
  // Open documents in the order they were opened.
  std::vector<ai::DocumentData*> documents() const;

  // --- The main window -----------------------------------------------------

  // Registers the class "illustrator" and creates the host's visible main
  // window through vxp::WindowSystem::Default(): normal, not hung, and not
  // in front (another window is activated). Installs the dispatch observer
  // that records answers. False with the reason on failure.
  bool open_main_window(std::string* error);
  void close_main_window();
  vxp::WindowHandle main_window() const { return main_window_; }

  // Records a message from another process handled by a window of this
  // process (the dispatch observer).
  void observe(const vxp::DispatchedMessage& message);
  // Notes whether the main window is in front now; called by the host after
  // anything that may have moved it, so that a later bring-to-front request
  // knows where it started from.
  void note_front_state();
  // The main window's procedure received SC_RESTORE.
  void restored_by_command();

  // --- What happened -------------------------------------------------------

  const std::string& plugin_name() const { return plugin_.name; }
  const std::vector<MessageRecord>& messages() const { return messages_; }
  const std::vector<SuiteEvent>& suite_events() const { return suite_events_; }
  std::vector<SuiteCount> suite_counts() const;
  const std::vector<std::unique_ptr<ai::MenuItemData>>& menu_items() const { return items_; }
  const std::vector<std::unique_ptr<ai::MenuGroupData>>& menu_groups() const { return groups_; }
  const std::vector<std::unique_ptr<ai::TimerData>>& timers() const { return timers_; }
  const std::vector<std::unique_ptr<ai::NotifierData>>& notifiers() const { return notifiers_; }
  const std::vector<PlayedAction>& actions() const { return actions_; }
  const std::vector<std::string>& alerts() const { return alerts_; }
  const std::vector<AnswerRecord>& answers() const { return answers_; }
  std::vector<FrontOutcome> front() const;
  const std::map<std::string, std::uint64_t>& calls() const { return calls_; }
  std::uint64_t contexts_pushed() const { return contexts_pushed_; }
  std::uint64_t contexts_popped() const { return contexts_popped_; }
  std::uint64_t restore_commands() const { return restore_commands_; }
  LiveCounts live() const;
  // An answer that arrived at or after index `since` was taken by a tick.
  bool answer_taken_since(std::size_t since) const;

  // The basic suite that messages carry.
  ai::BasicSuite* basic_suite();
  ai::PluginRef plugin_ref() { return &plugin_; }

 private:
  friend struct SuiteFunctions;

  struct FrontRecord {
    FrontOutcome outcome = eFront_None;
    bool watching_restore = false;
  };

  // Counts the call and gives the injected failure for it, if any.
  ai::Err enter(const char* operation);
  // Takes the plug-in's menu items and groups off the menu.
  void remove_plugin_menus();
  ai::Err injected(const std::string& operation) const;
  void send_timer(ai::TimerData* timer);

  template <class T>
  static bool known(const std::unordered_set<const T*>& set, const T* p) {
    return p != nullptr && set.count(p) != 0;
  }
  template <class T>
  static bool known(const std::unordered_map<const T*, std::unique_ptr<T>>& map, const T* p) {
    return p != nullptr && map.count(p) != 0;
  }
  template <class T>
  static T* keep(std::unordered_map<const T*, std::unique_ptr<T>>& map, std::unique_ptr<T> object) {
    T* p = object.get();
    map.emplace(p, std::move(object));
    return p;
  }

  std::int32_t major_version_ = 28;
  std::map<std::int32_t, std::string> folders_;
  std::map<std::string, ai::Err> failures_;
  std::map<std::string, ActionEffect> effects_;
  std::map<std::string, std::uint64_t> calls_;

  ai::PluginMainFunction main_ = nullptr;
  ai::PluginData plugin_;
  void* globals_ = nullptr;
  bool started_ = false;
  bool unloaded_ = false;
  std::vector<MessageRecord> messages_;

  std::vector<SuiteEvent> suite_events_;
  std::map<std::pair<std::string, std::int32_t>, SuiteCount> suite_counts_;

  std::vector<std::unique_ptr<ai::MenuGroupData>> groups_;
  std::vector<std::unique_ptr<ai::MenuItemData>> items_;
  std::unordered_set<const ai::MenuItemData*> item_set_;
  std::vector<std::unique_ptr<ai::TimerData>> timers_;
  std::unordered_set<const ai::TimerData*> timer_set_;
  std::uint64_t host_ticks_ = 0;
  std::vector<std::unique_ptr<ai::NotifierData>> notifiers_;

  std::vector<std::unique_ptr<ai::DocumentData>> documents_;  // every document ever opened
  std::unordered_set<const ai::DocumentData*> open_documents_;
  ai::DocumentData* current_ = nullptr;
  std::vector<std::unique_ptr<ai::ArtData>> art_;  // every art object ever made
  std::unordered_set<const ai::ArtData*> live_art_;

  std::map<std::string, std::unique_ptr<ai::DictKeyData>> keys_;
  std::unordered_set<const ai::DictKeyData*> key_set_;
  std::unordered_map<const ai::UnicodeStringData*, std::unique_ptr<ai::UnicodeStringData>> strings_;
  std::unordered_map<const ai::FilePathData*, std::unique_ptr<ai::FilePathData>> file_paths_;
  std::unordered_map<const void*, std::unique_ptr<unsigned char[]>> blocks_;
  std::unordered_map<const ai::DictionaryData*, std::unique_ptr<ai::DictionaryData>> dictionaries_;
  std::unordered_map<const ai::ActionParamsData*, std::unique_ptr<ai::ActionParamsData>> param_blocks_;
  std::unordered_map<const void*, std::unique_ptr<ai::ArtHandle[]>> art_arrays_;
  std::unordered_map<const ai::ArtboardListData*, std::unique_ptr<ai::ArtboardListData>> artboard_lists_;
  std::unordered_map<const ai::ArtboardPropertiesData*, std::unique_ptr<ai::ArtboardPropertiesData>>
      artboard_properties_;
  std::unordered_map<const ai::ColorProfileData*, std::unique_ptr<ai::ColorProfileData>> profiles_;
  std::vector<std::unique_ptr<ai::AppContextData>> contexts_;  // a stack
  std::uint64_t contexts_pushed_ = 0;
  std::uint64_t contexts_popped_ = 0;
  std::unordered_map<const ai::AccessData*, std::unique_ptr<ai::AccessData>> access_;

  std::vector<PlayedAction> actions_;
  std::vector<std::string> alerts_;

  vxp::WindowHandle main_window_ = 0;
  bool main_in_front_ = false;
  std::uint64_t restore_commands_ = 0;
  std::vector<AnswerRecord> answers_;
  std::optional<std::size_t> parked_;
  std::vector<FrontRecord> front_;
};

}  // namespace vxsim
