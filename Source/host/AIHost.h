// The host's plug-in interface as this plug-in uses it: the entry point's
// message records, the basic suite, and every suite the plug-in acquires,
// each a table of C functions obtained by name and version.
//
// These are the plug-in's own declarations of what it needs from the
// illustration program; a host (the real one, or the simulated host vxhost)
// fills the tables. Every operation returns an error code, 0 on success;
// results come back through out-parameters. Texts are UTF-8 unless stated.
// Handles are opaque: only the host knows what they point to.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ai {

// Host error code: signed 32-bit, 0 for success. Four-character codes hold
// their first character in the most significant byte.
using Err = std::int32_t;
inline constexpr Err kNoErr = 0;

constexpr Err FourCC(const char (&c)[5]) {
  return static_cast<Err>((static_cast<std::uint32_t>(static_cast<unsigned char>(c[0])) << 24) |
                          (static_cast<std::uint32_t>(static_cast<unsigned char>(c[1])) << 16) |
                          (static_cast<std::uint32_t>(static_cast<unsigned char>(c[2])) << 8) |
                          static_cast<std::uint32_t>(static_cast<unsigned char>(c[3])));
}

// Errors a host reports.
inline constexpr Err kBadParameterErr = FourCC("PARM");
inline constexpr Err kNoDocumentErr = FourCC("DOC?");   // no document is open
inline constexpr Err kNoSuchKeyErr = FourCC("KEY?");    // a dictionary has no such entry
inline constexpr Err kWrongEntryTypeErr = FourCC("TYP?");
inline constexpr Err kSuiteNotFoundErr = FourCC("S!Fd");
inline constexpr Err kOutOfMemoryErr = FourCC("!MEM");

// --- Opaque handles --------------------------------------------------------

struct PluginData;
using PluginRef = PluginData*;
struct AccessData;
using AccessRef = AccessData*;
struct NotifierData;
using NotifierHandle = NotifierData*;
struct TimerData;
using TimerHandle = TimerData*;
struct MenuItemData;
using MenuItemHandle = MenuItemData*;
struct MenuGroupData;
using MenuGroupHandle = MenuGroupData*;
struct AppContextData;
using AppContext = AppContextData*;
struct UnicodeStringData;
using UnicodeStringRef = UnicodeStringData*;
struct FilePathData;
using FilePathRef = FilePathData*;
struct DocumentData;
using DocumentHandle = DocumentData*;
struct DictionaryData;
using DictionaryRef = DictionaryData*;
struct DictKeyData;
using DictKey = const DictKeyData*;
struct ArtData;
using ArtHandle = ArtData*;
struct ArtboardListData;
using ArtboardListRef = ArtboardListData*;
struct ArtboardPropertiesData;
using ArtboardProperties = ArtboardPropertiesData*;
struct ActionParamsData;
using ActionParamBlock = ActionParamsData*;
struct ColorProfileData;
using ColorProfile = ColorProfileData*;

// --- Geometry ----------------------------------------------------------------

// A point in document coordinates (points; v grows upward).
struct RealPoint {
  double h;
  double v;
};

// A rectangle as the host gives bounds: left, top, right, bottom.
struct RealRect {
  double left;
  double top;
  double right;
  double bottom;
};

// One anchor of a path with its two control points.
struct PathSegment {
  RealPoint p;    // anchor
  RealPoint in;   // control point towards the previous anchor
  RealPoint out;  // control point towards the next anchor
  bool corner;
};

// --- The basic suite and the message records ---------------------------------

struct BasicSuite {
  // Stores the suite's function table in *suite. A suite the host does not
  // offer in that version fails (kSuiteNotFoundErr).
  Err (*AcquireSuite)(const char* name, std::int32_t version, const void** suite);
  Err (*ReleaseSuite)(const char* name, std::int32_t version);
};

// The header of every message the host passes to PluginMain.
struct PluginMessageData {
  std::int32_t check;  // kMessageCheck
  PluginRef self;      // the host's reference to this plug-in
  void* globals;       // kept by the host for the plug-in between calls
  BasicSuite* basic;
};
inline constexpr std::int32_t kMessageCheck = FourCC("VXmd");

// "AI Menu" messages.
struct MenuMessage {
  PluginMessageData d;
  MenuItemHandle menuItem;
};

// "AI Notifier" messages.
struct NotifierMessage {
  PluginMessageData d;
  NotifierHandle notifier;
  const char* type;
  void* notifyData;
};

// "AI Timer" messages.
struct TimerMessage {
  PluginMessageData d;
  TimerHandle timer;
};

// The entry point every plug-in module exports.
using PluginMainFunction = Err (*)(const char* caller, const char* selector, void* message);
inline constexpr const char* kPluginMainName = "PluginMain";

// --- Callers and selectors ---------------------------------------------------

inline constexpr const char* kCallerInterface = "SP Interface";
inline constexpr const char* kSelectorStartup = "Startup";
inline constexpr const char* kSelectorShutdown = "Shutdown";
inline constexpr const char* kSelectorAbout = "About";
inline constexpr const char* kCallerAccess = "SP Access";
inline constexpr const char* kSelectorUnload = "Unload";
inline constexpr const char* kSelectorReload = "Reload";
inline constexpr const char* kCallerProperties = "SP Properties";
inline constexpr const char* kSelectorAcquireProperty = "Acquire";
inline constexpr const char* kSelectorReleaseProperty = "Release";
inline constexpr const char* kCallerCache = "SP Cache";
inline constexpr const char* kSelectorPurge = "Plug-in Purge";
inline constexpr const char* kCallerNotifier = "AI Notifier";
inline constexpr const char* kSelectorNotify = "AI Notify";
inline constexpr const char* kCallerActionManager = "Action Manager";
inline constexpr const char* kSelectorDoAction = "Do Action";
inline constexpr const char* kCallerMenu = "AI Menu";
inline constexpr const char* kCallerTimer = "AI Timer";
inline constexpr const char* kSelectorGo = "AI Go";
inline constexpr const char* kSelectorUpdate = "AI Update";
inline constexpr const char* kCallerFilter = "AI Filter";
inline constexpr const char* kSelectorGetParameters = "AI Get Parameters";
inline constexpr const char* kCallerPluginGroup = "AI Plugin Group";
inline constexpr const char* kSelectorNotifyEdits = "AI Notify Edits";
inline constexpr const char* kCallerFileFormat = "AI File Format";
inline constexpr const char* kSelectorCheck = "AI Check";
inline constexpr const char* kSelectorFileFormatUpdate = "AI Update AI140";
inline constexpr const char* kCallerTool = "AI Tool";
inline constexpr const char* kSelectorEditOptions = "AI Edit Options";
inline constexpr const char* kSelectorTrackCursor = "AI Track Cursor";
inline constexpr const char* kSelectorMouseDown = "AI Mouse Down";
inline constexpr const char* kSelectorMouseDrag = "AI Mouse Drag";
inline constexpr const char* kSelectorMouseUp = "AI Mouse Up";
inline constexpr const char* kSelectorSelect = "AI Select";
inline constexpr const char* kSelectorDeselect = "AI Deselect";
inline constexpr const char* kSelectorReselect = "AI Reselect";
inline constexpr const char* kSelectorDecreaseDiameter = "AI Decrease Diameter";
inline constexpr const char* kSelectorIncreaseDiameter = "AI Increase Diameter";
inline constexpr const char* kCallerLiveEffect = "AI Live Effect";
inline constexpr const char* kSelectorLiveEffectEditParameters = "AI Live Effect Edit Parameters";
inline constexpr const char* kSelectorLiveEffectGoLive = "AI Live Effect Go Live";
inline constexpr const char* kSelectorLiveEffectInterpolateParameters = "AI Live Effect Interpolate Parameters";
inline constexpr const char* kSelectorLiveEffectInputType = "AI Live Effect Input Type";
inline constexpr const char* kSelectorLiveEffectConvertColorSpace = "AI Live Effect Convert Color Space";
inline constexpr const char* kSelectorLiveEffectScaleParameters = "AI Live Effect Scale Parameters";
inline constexpr const char* kSelectorLiveEffectAdjustColors = "AI Live Effect Adjust Colors";
inline constexpr const char* kSelectorLiveEffectHandleMerge = "AI Live Effect Handle Merge";
inline constexpr const char* kCallerClipboard = "AI Clipboard";
inline constexpr const char* kSelectorCanCopy = "AI Can Copy";
inline constexpr const char* kSelectorClone = "AI Clone";
inline constexpr const char* kSelectorDispose = "AI Dispose";
inline constexpr const char* kCallerWorkspace = "Workspace Manager";
inline constexpr const char* kSelectorWriteWorkspace = "Write Workspace";
inline constexpr const char* kSelectorRestoreWorkspace = "Restore Workspace";
inline constexpr const char* kSelectorDefaultWorkspace = "Default Workspace";

// Notifier types.
inline constexpr const char* kApplicationStartedNotifier = "AI Application Started Notifier";
inline constexpr const char* kApplicationShutdownNotifier = "AI Application Shutdown Notifier";

// --- Suites ------------------------------------------------------------------
// Each suite: its name and version constants, then its table.

inline constexpr const char* kAccessSuite = "SP Access Suite";
inline constexpr std::int32_t kAccessSuiteVersion = 3;
struct AccessSuite {
  // Holds the plug-in loaded until the reference is released.
  Err (*AcquirePlugin)(PluginRef plugin, AccessRef* access);
  Err (*ReleasePlugin)(AccessRef access);
};

inline constexpr const char* kPluginsSuite = "SP Plug-ins Suite";
inline constexpr std::int32_t kPluginsSuiteVersion = 6;
struct PluginsSuite {
  Err (*SetPluginName)(PluginRef plugin, const char* name);
  Err (*GetPluginName)(PluginRef plugin, const char** name);
};

inline constexpr const char* kNotifierSuite = "AI Notifier Suite";
inline constexpr std::int32_t kNotifierSuiteVersion = 4;
struct NotifierSuite {
  // The host sends "AI Notifier"/"AI Notify" with the handle when a
  // notification of that type happens.
  Err (*AddNotifier)(PluginRef plugin, const char* name, const char* type, NotifierHandle* notifier);
};

inline constexpr const char* kContextSuite = "AI Context Suite";
inline constexpr std::int32_t kContextSuiteVersion = 10;
struct ContextSuite {
  Err (*PushAppContext)(PluginRef plugin, AppContext* context);
  Err (*PopAppContext)(AppContext context);
};

inline constexpr const char* kUserSuite = "AI User Suite";
inline constexpr std::int32_t kUserSuiteVersion = 21;
struct UserSuite {
  // Shows a message to the user.
  Err (*MessageAlert)(UnicodeStringRef text);
};

inline constexpr const char* kFilePathSuite = "AI File Path Suite";
inline constexpr std::int32_t kFilePathSuiteVersion = 8;
struct FilePathSuite {
  Err (*NewFilePath)(const char* path, FilePathRef* out);
  // The full path in the OS's form as a new host string (caller disposes).
  Err (*GetFullPath)(FilePathRef path, UnicodeStringRef* out);
  Err (*DisposeFilePath)(FilePathRef path);
};

inline constexpr const char* kFoldersSuite = "AI Folders Suite";
inline constexpr std::int32_t kFoldersSuiteVersion = 5;
struct FoldersSuite {
  // A folder the host knows by kind (kFolder_*), as a new file path.
  Err (*FindFolder)(std::int32_t kind, FilePathRef* out);
};
inline constexpr std::int32_t kFolder_Application = 0;
inline constexpr std::int32_t kFolder_Plugins = 1;
inline constexpr std::int32_t kFolder_Temporary = 2;

inline constexpr const char* kBlocksSuite = "SP Blocks Suite";
inline constexpr std::int32_t kBlocksSuiteVersion = 2;
struct BlocksSuite {
  Err (*AllocateBlock)(std::size_t size, void** block);
  Err (*FreeBlock)(void* block);
};

inline constexpr const char* kMenuSuite = "AI Menu Suite";
inline constexpr std::int32_t kMenuSuiteVersion = 11;
struct MenuSuite {
  // Adds an item with `text` (a separator when it is empty) to the group.
  Err (*AddMenuItem)(PluginRef plugin, const char* itemKey, const char* groupName, UnicodeStringRef text,
                     std::int32_t options, MenuItemHandle* item);
  // Makes a new group that opens from the item as its submenu.
  Err (*AddMenuGroupAsSubMenu)(const char* groupName, std::int32_t options, MenuItemHandle parent,
                               MenuGroupHandle* group);
  Err (*EnableItem)(MenuItemHandle item);
  Err (*DisableItem)(MenuItemHandle item);
  Err (*IsItemEnabled)(MenuItemHandle item, bool* enabled);
};
// Item options.
inline constexpr std::int32_t kMenuItemWantsUpdate = 1;  // "AI Menu"/"AI Update" before the menu opens
inline constexpr std::int32_t kMenuItemIsSeparator = 4;

inline constexpr const char* kUnicodeStringSuite = "AI Unicode String Suite";
inline constexpr std::int32_t kUnicodeStringSuiteVersion = 9;
struct UnicodeStringSuite {
  Err (*NewFromUTF8)(const char* text, std::size_t length, UnicodeStringRef* out);
  // The text as UTF-8; valid until the string is changed or disposed.
  Err (*GetUTF8)(UnicodeStringRef string, const char** text, std::size_t* length);
  Err (*DisposeString)(UnicodeStringRef string);
};

inline constexpr const char* kDocumentSuite = "AI Document Suite";
inline constexpr std::int32_t kDocumentSuiteVersion = 21;
struct DocumentSuite {
  // The current document; kNoDocumentErr when none is open. Every other
  // operation works on the current document and fails the same way.
  Err (*GetDocument)(DocumentHandle* document);
  // The document's dictionary, to be released through the dictionary suite.
  Err (*GetDictionary)(DictionaryRef* dictionary);
  // Page size in points.
  Err (*GetDocumentPageSize)(RealPoint* size);
  // The document's file path; fails for a document never saved.
  Err (*GetDocumentFileSpecification)(FilePathRef* path);
  Err (*SetDocumentModified)(bool modified);
  Err (*SetDocumentProfiles)(ColorProfile rgb, ColorProfile cmyk, ColorProfile gray);
  // Brings the document's state up to date before an action is played on
  // it (the call that precedes "adobe_makeGuide").
  Err (*SyncBeforeAction)();
};

// The host's new-document record: 112 bytes.
struct NewDocumentPreset {
  UnicodeStringRef title;         // 0
  double width;                   // 8
  double height;                  // 16
  std::int32_t artboardCount;     // 24
  std::int32_t field28;           // 28
  double field32;                 // 32
  std::int32_t field40;           // 40
  std::int32_t colorModel;        // 44
  std::int32_t rulerUnits;        // 48
  std::int32_t field52;           // 52
  std::int32_t field56;           // 56
  std::int32_t field60;           // 60
  unsigned char reserved[48];     // 64 .. 111
};
static_assert(sizeof(NewDocumentPreset) == 112, "the host reads 112 bytes");

inline constexpr const char* kDocumentListSuite = "AI Document List Suite";
inline constexpr std::int32_t kDocumentListSuiteVersion = 11;
struct DocumentListSuite {
  // A new document becomes the current one.
  Err (*New)(const char* presetName, const NewDocumentPreset* preset, std::int32_t dialogStatus,
             DocumentHandle* document);
  Err (*Count)(std::int32_t* count);
  Err (*GetNthDocument)(std::int32_t index, DocumentHandle* document);
};

inline constexpr const char* kDictionarySuite = "AI Dictionary Suite";
inline constexpr std::int32_t kDictionarySuiteVersion = 10;
struct DictionarySuite {
  // The key for a text; keys live as long as the host.
  Err (*Key)(const char* text, DictKey* key);
  // With value null: stores the entry's size in *size. Otherwise copies at
  // most *size bytes to value and stores the count copied. kNoSuchKeyErr
  // for a missing entry, kWrongEntryTypeErr for an entry of another type.
  Err (*GetBinaryEntry)(DictionaryRef dictionary, DictKey key, void* value, std::size_t* size);
  Err (*SetBinaryEntry)(DictionaryRef dictionary, DictKey key, const void* value, std::size_t size);
  Err (*GetBooleanEntry)(DictionaryRef dictionary, DictKey key, bool* value);
  Err (*SetBooleanEntry)(DictionaryRef dictionary, DictKey key, bool value);
  Err (*Release)(DictionaryRef dictionary);
};

inline constexpr const char* kActionManagerSuite = "AI Action Manager Suite";
inline constexpr std::int32_t kActionManagerSuiteVersion = 5;
struct ActionManagerSuite {
  Err (*NewParamBlock)(ActionParamBlock* block);
  Err (*DisposeParamBlock)(ActionParamBlock block);
  // Keys are four-character codes (FourCC).
  Err (*SetInteger)(ActionParamBlock block, std::int32_t key, std::int32_t value);
  Err (*SetReal)(ActionParamBlock block, std::int32_t key, double value);
  Err (*SetBoolean)(ActionParamBlock block, std::int32_t key, bool value);
  Err (*SetString)(ActionParamBlock block, std::int32_t key, const char* value);
  Err (*SetEnumerated)(ActionParamBlock block, std::int32_t key, const char* typeName, std::int32_t value);
  // Plays a host action; block may be null (no parameters).
  Err (*PlayActionEvent)(const char* eventName, std::int32_t dialogStatus, ActionParamBlock block);
};
inline constexpr std::int32_t kDialogStatusNone = 3;  // play without showing a dialog

inline constexpr const char* kMatchingArtSuite = "AI Matching Art Suite";
inline constexpr std::int32_t kMatchingArtSuiteVersion = 7;
// Selects art by type (kArtType_Any for all) and user attributes.
struct MatchingArtSpec {
  std::int16_t type;
  std::int32_t whichAttr;
  std::int32_t attr;
};
struct MatchingArtSuite {
  // A new array of the matching art of the current document, disposed of
  // through the MdMemory suite.
  Err (*GetMatchingArt)(const MatchingArtSpec* specs, std::int16_t specCount, ArtHandle** matches,
                        std::int32_t* count);
  Err (*DeselectAll)();
};

inline constexpr const char* kMdMemorySuite = "AI MdMemory Suite";
inline constexpr std::int32_t kMdMemorySuiteVersion = 3;
struct MdMemorySuite {
  Err (*DisposeArray)(void* array);
};

inline constexpr const char* kArtSuite = "AI Art Suite";
inline constexpr std::int32_t kArtSuiteVersion = 21;
struct ArtSuite {
  Err (*NewArt)(std::int16_t type, std::int16_t paintOrder, ArtHandle prep, ArtHandle* art);
  Err (*DisposeArt)(ArtHandle art);
  Err (*GetArtType)(ArtHandle art, std::int16_t* type);
  // User attributes are bits (kArtAttr_*): which selects the bits to read
  // or change, attr holds their values.
  Err (*GetArtUserAttr)(ArtHandle art, std::int32_t which, std::int32_t* attr);
  Err (*SetArtUserAttr)(ArtHandle art, std::int32_t which, std::int32_t attr);
  // The art's own dictionary, released through the dictionary suite.
  Err (*GetDictionary)(ArtHandle art, DictionaryRef* dictionary);
};
inline constexpr std::int16_t kArtType_Any = -1;
inline constexpr std::int16_t kArtType_Path = 2;
inline constexpr std::int16_t kPaintOrder_PlaceAboveAll = 5;
inline constexpr std::int32_t kArtAttr_Selected = 1;
inline constexpr std::int32_t kArtAttr_Locked = 2;

inline constexpr const char* kArtboardSuite = "AI Artboard Suite";
inline constexpr std::int32_t kArtboardSuiteVersion = 6;
struct ArtboardSuite {
  Err (*GetArtboardList)(ArtboardListRef* list);
  Err (*ReleaseArtboardList)(ArtboardListRef list);
  Err (*GetArtboardProperties)(ArtboardListRef list, std::int32_t index, ArtboardProperties* properties);
  Err (*DisposeArtboardProperties)(ArtboardProperties properties);
  Err (*GetPosition)(ArtboardProperties properties, RealRect* bounds);
  Err (*SetPosition)(ArtboardProperties properties, const RealRect* bounds);
  // Writes the properties back to the artboard at index.
  Err (*Update)(ArtboardListRef list, std::int32_t index, ArtboardProperties properties);
};

inline constexpr const char* kTimerSuite = "AI Timer Suite";
inline constexpr std::int32_t kTimerSuiteVersion = 5;
struct TimerSuite {
  // period: host ticks (60 a second) between two "AI Timer"/"AI Go".
  Err (*AddTimer)(PluginRef plugin, const char* name, std::int32_t period, TimerHandle* timer);
  Err (*SetTimerActive)(TimerHandle timer, bool active);
};

inline constexpr const char* kRuntimeSuite = "AI Runtime Suite";
inline constexpr std::int32_t kRuntimeSuiteVersion = 14;
struct RuntimeSuite {
  Err (*GetAppMajorVersion)(std::int32_t* version);
};

inline constexpr const char* kPathSuite = "AI Path Suite";
inline constexpr std::int32_t kPathSuiteVersion = 13;
struct PathSuite {
  Err (*SetPathSegmentCount)(ArtHandle path, std::int16_t count);
  Err (*SetPathSegments)(ArtHandle path, std::int16_t first, std::int16_t count, const PathSegment* segments);
  Err (*GetPathSegmentCount)(ArtHandle path, std::int16_t* count);
  Err (*GetPathSegments)(ArtHandle path, std::int16_t first, std::int16_t count, PathSegment* segments);
  Err (*SetPathClosed)(ArtHandle path, bool closed);
};

inline constexpr const char* kColorConversionSuite = "Override AI Color Conversion Suite";
inline constexpr std::int32_t kColorConversionSuiteVersion = 9;
struct ColorConversionSuite {
  // A host profile made from an ICC profile file's bytes.
  Err (*ProfileFromBytes)(const void* bytes, std::size_t size, ColorProfile* profile);
  Err (*FreeProfile)(ColorProfile profile);
};

}  // namespace ai
