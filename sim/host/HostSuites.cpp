// The suites of AIHost.h over the host model: one C function per table entry.
//
// Every function first counts the call and applies an injected failure
// (HostModel::enter), then checks its arguments and handles, and only then
// changes the model, so a failing call leaves everything as it was.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "HostModel.h"

namespace vxsim {

namespace {

using ai::Err;
using ai::kBadParameterErr;
using ai::kNoDocumentErr;
using ai::kNoErr;

// A block larger than this is refused as the host's memory being exhausted.
constexpr std::size_t kMaxBlockSize = std::size_t{1} << 30;

// Artboards a new document may ask for.
constexpr std::int32_t kMaxArtboards = 1000;
// Space between the artboards of a document made with several of them.
constexpr double kArtboardSpacing = 20;

bool finite(const ai::RealPoint& p) { return std::isfinite(p.h) && std::isfinite(p.v); }

bool proper_bounds(const ai::RealRect& r) {
  return std::isfinite(r.left) && std::isfinite(r.top) && std::isfinite(r.right) && std::isfinite(r.bottom) &&
         r.right > r.left && r.top > r.bottom;
}

}  // namespace

// Friend of HostModel: the suite functions reach its private state here.
struct SuiteFunctions {
  // Looks up the live model and enters the operation on it.
  static Err begin(const char* operation, HostModel*& host) {
    host = HostModel::current();
    if (host == nullptr) return kBadParameterErr;
    return host->enter(operation);
  }
  // The same for an operation that two suites share by name: the plain name
  // fails both, "name:suite" the one of that suite.
  static Err begin_shared(const char* operation, const char* suite, HostModel*& host) {
    if (Err e = begin(operation, host)) return e;
    return host->injected(std::string(operation) + ":" + suite);
  }

  // --- Basic suite ---------------------------------------------------------

  struct SuiteTable {
    const char* name;
    std::int32_t version;
    const void* table;
  };
  static const SuiteTable* find_suite(const char* name, std::int32_t version);

  static Err AcquireSuite(const char* name, std::int32_t version, const void** suite) {
    HostModel* host = HostModel::current();
    if (host == nullptr) return kBadParameterErr;
    Err result = host->enter("AcquireSuite");
    if (result == kNoErr && name != nullptr) result = host->injected(std::string("AcquireSuite:") + name);
    if (result == kNoErr && (name == nullptr || suite == nullptr)) result = kBadParameterErr;
    const SuiteTable* found = nullptr;
    if (result == kNoErr) {
      found = find_suite(name, version);
      if (found == nullptr) result = ai::kSuiteNotFoundErr;
    }
    host->suite_events_.push_back({true, name ? name : "", version, result});
    if (result != kNoErr) return result;
    SuiteCount& count = host->suite_counts_[{found->name, found->version}];
    count.name = found->name;
    count.version = found->version;
    ++count.acquired;
    *suite = found->table;
    return kNoErr;
  }

  static Err ReleaseSuite(const char* name, std::int32_t version) {
    HostModel* host = HostModel::current();
    if (host == nullptr) return kBadParameterErr;
    Err result = host->enter("ReleaseSuite");
    const SuiteTable* found = nullptr;
    if (result == kNoErr) {
      found = name ? find_suite(name, version) : nullptr;
      if (found == nullptr) result = ai::kSuiteNotFoundErr;
    }
    SuiteCount* count = nullptr;
    if (result == kNoErr) {
      auto it = host->suite_counts_.find({found->name, found->version});
      // More releases than acquisitions: the plug-in releases what it does not hold.
      if (it == host->suite_counts_.end() || it->second.released >= it->second.acquired) {
        result = kBadParameterErr;
      } else {
        count = &it->second;
      }
    }
    host->suite_events_.push_back({false, name ? name : "", version, result});
    if (result != kNoErr) return result;
    ++count->released;
    return kNoErr;
  }

  // --- SP Access, SP Plug-ins, AI Notifier, AI Context ----------------------

  static Err AcquirePlugin(ai::PluginRef plugin, ai::AccessRef* access) {
    HostModel* h;
    if (Err e = begin("AcquirePlugin", h)) return e;
    if (plugin != h->plugin_ref() || access == nullptr) return kBadParameterErr;
    *access = HostModel::keep(h->access_, std::make_unique<ai::AccessData>());
    return kNoErr;
  }
  static Err ReleasePlugin(ai::AccessRef access) {
    HostModel* h;
    if (Err e = begin("ReleasePlugin", h)) return e;
    if (!HostModel::known(h->access_, access)) return kBadParameterErr;
    h->access_.erase(access);
    return kNoErr;
  }

  static Err SetPluginName(ai::PluginRef plugin, const char* name) {
    HostModel* h;
    if (Err e = begin("SetPluginName", h)) return e;
    if (plugin != h->plugin_ref() || name == nullptr) return kBadParameterErr;
    h->plugin_.name = name;
    return kNoErr;
  }
  static Err GetPluginName(ai::PluginRef plugin, const char** name) {
    HostModel* h;
    if (Err e = begin("GetPluginName", h)) return e;
    if (plugin != h->plugin_ref() || name == nullptr) return kBadParameterErr;
    *name = h->plugin_.name.c_str();
    return kNoErr;
  }

  static Err AddNotifier(ai::PluginRef plugin, const char* name, const char* type,
                         ai::NotifierHandle* notifier) {
    HostModel* h;
    if (Err e = begin("AddNotifier", h)) return e;
    if (plugin != h->plugin_ref() || name == nullptr || type == nullptr || notifier == nullptr) {
      return kBadParameterErr;
    }
    auto added = std::make_unique<ai::NotifierData>();
    added->name = name;
    added->type = type;
    *notifier = added.get();
    h->notifiers_.push_back(std::move(added));
    return kNoErr;
  }

  static Err PushAppContext(ai::PluginRef plugin, ai::AppContext* context) {
    HostModel* h;
    if (Err e = begin("PushAppContext", h)) return e;
    if (plugin != h->plugin_ref() || context == nullptr) return kBadParameterErr;
    h->contexts_.push_back(std::make_unique<ai::AppContextData>());
    ++h->contexts_pushed_;
    *context = h->contexts_.back().get();
    return kNoErr;
  }
  static Err PopAppContext(ai::AppContext context) {
    HostModel* h;
    if (Err e = begin("PopAppContext", h)) return e;
    // Contexts nest: only the innermost one can be popped.
    if (h->contexts_.empty() || h->contexts_.back().get() != context) return kBadParameterErr;
    h->contexts_.pop_back();
    ++h->contexts_popped_;
    return kNoErr;
  }

  // --- AI User, AI File Path, AI Folders, SP Blocks --------------------------

  static Err MessageAlert(ai::UnicodeStringRef text) {
    HostModel* h;
    if (Err e = begin("MessageAlert", h)) return e;
    if (!HostModel::known(h->strings_, text)) return kBadParameterErr;
    h->alerts_.push_back(text->text);
    return kNoErr;
  }

  static Err NewFilePath(const char* path, ai::FilePathRef* out) {
    HostModel* h;
    if (Err e = begin("NewFilePath", h)) return e;
    if (path == nullptr || out == nullptr) return kBadParameterErr;
    auto made = std::make_unique<ai::FilePathData>();
    made->path = path;
    *out = HostModel::keep(h->file_paths_, std::move(made));
    return kNoErr;
  }
  static Err GetFullPath(ai::FilePathRef path, ai::UnicodeStringRef* out) {
    HostModel* h;
    if (Err e = begin("GetFullPath", h)) return e;
    if (!HostModel::known(h->file_paths_, path) || out == nullptr) return kBadParameterErr;
    auto text = std::make_unique<ai::UnicodeStringData>();
    text->text = path->path;
    *out = HostModel::keep(h->strings_, std::move(text));
    return kNoErr;
  }
  static Err DisposeFilePath(ai::FilePathRef path) {
    HostModel* h;
    if (Err e = begin("DisposeFilePath", h)) return e;
    if (!HostModel::known(h->file_paths_, path)) return kBadParameterErr;
    h->file_paths_.erase(path);
    return kNoErr;
  }

  static Err FindFolder(std::int32_t kind, ai::FilePathRef* out) {
    HostModel* h;
    if (Err e = begin("FindFolder", h)) return e;
    auto it = h->folders_.find(kind);
    if (it == h->folders_.end() || out == nullptr) return kBadParameterErr;
    auto made = std::make_unique<ai::FilePathData>();
    made->path = it->second;
    *out = HostModel::keep(h->file_paths_, std::move(made));
    return kNoErr;
  }

  static Err AllocateBlock(std::size_t size, void** block) {
    HostModel* h;
    if (Err e = begin("AllocateBlock", h)) return e;
    if (block == nullptr) return kBadParameterErr;
    if (size > kMaxBlockSize) return ai::kOutOfMemoryErr;
    std::unique_ptr<unsigned char[]> bytes(new (std::nothrow) unsigned char[size == 0 ? 1 : size]);
    if (!bytes) return ai::kOutOfMemoryErr;
    *block = bytes.get();
    h->blocks_.emplace(bytes.get(), std::move(bytes));
    return kNoErr;
  }
  static Err FreeBlock(void* block) {
    HostModel* h;
    if (Err e = begin("FreeBlock", h)) return e;
    if (block == nullptr) return kNoErr;  // as free(): nothing to do
    if (h->blocks_.erase(block) == 0) return kBadParameterErr;
    return kNoErr;
  }

  // --- AI Menu -----------------------------------------------------------

  // The group of that name on the menu now.
  static ai::MenuGroupData* find_group(HostModel& h, const char* name) {
    for (const auto& group : h.groups_) {
      if (!group->removed && group->name == name) return group.get();
    }
    return nullptr;
  }

  static Err AddMenuItem(ai::PluginRef plugin, const char* itemKey, const char* groupName,
                         ai::UnicodeStringRef text, std::int32_t options, ai::MenuItemHandle* item) {
    HostModel* h;
    if (Err e = begin("AddMenuItem", h)) return e;
    if (plugin != h->plugin_ref() || itemKey == nullptr || groupName == nullptr || item == nullptr ||
        !HostModel::known(h->strings_, text) || find_group(*h, groupName) == nullptr) {
      return kBadParameterErr;
    }
    auto added = std::make_unique<ai::MenuItemData>();
    added->key = itemKey;
    added->group = groupName;
    added->text = text->text;
    added->options = options;
    *item = added.get();
    h->item_set_.insert(added.get());
    h->items_.push_back(std::move(added));
    return kNoErr;
  }

  static Err AddMenuGroupAsSubMenu(const char* groupName, std::int32_t options, ai::MenuItemHandle parent,
                                   ai::MenuGroupHandle* group) {
    HostModel* h;
    if (Err e = begin("AddMenuGroupAsSubMenu", h)) return e;
    // A group name is unique, and an item opens at most one submenu.
    if (groupName == nullptr || *groupName == '\0' || group == nullptr ||
        !HostModel::known(h->item_set_, parent) || parent->submenu != nullptr ||
        find_group(*h, groupName) != nullptr) {
      return kBadParameterErr;
    }
    auto added = std::make_unique<ai::MenuGroupData>();
    added->name = groupName;
    added->parent = parent;
    added->options = options;
    parent->submenu = added.get();
    *group = added.get();
    h->groups_.push_back(std::move(added));
    return kNoErr;
  }

  static Err EnableItem(ai::MenuItemHandle item) {
    HostModel* h;
    if (Err e = begin("EnableItem", h)) return e;
    if (!HostModel::known(h->item_set_, item)) return kBadParameterErr;
    item->enabled = true;
    return kNoErr;
  }
  static Err DisableItem(ai::MenuItemHandle item) {
    HostModel* h;
    if (Err e = begin("DisableItem", h)) return e;
    if (!HostModel::known(h->item_set_, item)) return kBadParameterErr;
    item->enabled = false;
    return kNoErr;
  }
  static Err IsItemEnabled(ai::MenuItemHandle item, bool* enabled) {
    HostModel* h;
    if (Err e = begin("IsItemEnabled", h)) return e;
    if (!HostModel::known(h->item_set_, item) || enabled == nullptr) return kBadParameterErr;
    *enabled = item->enabled;
    return kNoErr;
  }

  // --- AI Unicode String ---------------------------------------------------

  static Err NewFromUTF8(const char* text, std::size_t length, ai::UnicodeStringRef* out) {
    HostModel* h;
    if (Err e = begin("NewFromUTF8", h)) return e;
    if ((text == nullptr && length != 0) || out == nullptr) return kBadParameterErr;
    auto made = std::make_unique<ai::UnicodeStringData>();
    if (length != 0) made->text.assign(text, length);
    *out = HostModel::keep(h->strings_, std::move(made));
    return kNoErr;
  }
  static Err GetUTF8(ai::UnicodeStringRef string, const char** text, std::size_t* length) {
    HostModel* h;
    if (Err e = begin("GetUTF8", h)) return e;
    if (!HostModel::known(h->strings_, string) || text == nullptr || length == nullptr)
      return kBadParameterErr;
    *text = string->text.c_str();
    *length = string->text.size();
    return kNoErr;
  }
  static Err DisposeString(ai::UnicodeStringRef string) {
    HostModel* h;
    if (Err e = begin("DisposeString", h)) return e;
    if (!HostModel::known(h->strings_, string)) return kBadParameterErr;
    h->strings_.erase(string);
    return kNoErr;
  }

  // --- AI Document, AI Document List ---------------------------------------

  // The current document, for the operations that work on it.
  static Err current(HostModel* h, ai::DocumentData*& document) {
    document = h->current_;
    return document ? kNoErr : kNoDocumentErr;
  }

  static Err GetDocument(ai::DocumentHandle* document) {
    HostModel* h;
    if (Err e = begin("GetDocument", h)) return e;
    if (document == nullptr) return kBadParameterErr;
    ai::DocumentData* doc;
    if (Err e = current(h, doc)) return e;
    *document = doc;
    return kNoErr;
  }
  static Err DocumentGetDictionary(ai::DictionaryRef* dictionary) {
    HostModel* h;
    if (Err e = begin_shared("GetDictionary", ai::kDocumentSuite, h)) return e;
    if (dictionary == nullptr) return kBadParameterErr;
    ai::DocumentData* doc;
    if (Err e = current(h, doc)) return e;
    auto ref = std::make_unique<ai::DictionaryData>();
    ref->dictionary = doc->dictionary;
    *dictionary = HostModel::keep(h->dictionaries_, std::move(ref));
    return kNoErr;
  }
  static Err GetDocumentPageSize(ai::RealPoint* size) {
    HostModel* h;
    if (Err e = begin("GetDocumentPageSize", h)) return e;
    if (size == nullptr) return kBadParameterErr;
    ai::DocumentData* doc;
    if (Err e = current(h, doc)) return e;
    *size = {doc->width, doc->height};
    return kNoErr;
  }
  static Err GetDocumentFileSpecification(ai::FilePathRef* path) {
    HostModel* h;
    if (Err e = begin("GetDocumentFileSpecification", h)) return e;
    if (path == nullptr) return kBadParameterErr;
    ai::DocumentData* doc;
    if (Err e = current(h, doc)) return e;
    if (!doc->path) return kNoFilePathErr;
    auto made = std::make_unique<ai::FilePathData>();
    made->path = *doc->path;
    *path = HostModel::keep(h->file_paths_, std::move(made));
    return kNoErr;
  }
  static Err SetDocumentModified(bool modified) {
    HostModel* h;
    if (Err e = begin("SetDocumentModified", h)) return e;
    ai::DocumentData* doc;
    if (Err e = current(h, doc)) return e;
    doc->modified = modified;
    return kNoErr;
  }
  static Err SetDocumentProfiles(ai::ColorProfile rgb, ai::ColorProfile cmyk, ai::ColorProfile gray) {
    HostModel* h;
    if (Err e = begin("SetDocumentProfiles", h)) return e;
    ai::DocumentData* doc;
    if (Err e = current(h, doc)) return e;
    const ai::ColorProfile given[3] = {rgb, cmyk, gray};
    for (ai::ColorProfile p : given) {
      if (p != nullptr && !HostModel::known(h->profiles_, p)) return kBadParameterErr;
    }
    // The document keeps what it needs of each profile: the plug-in may free
    // its handles right after.
    for (int i = 0; i < 3; ++i) {
      doc->profiles[i] = given[i] ? std::optional<ProfileInfo>(given[i]->info) : std::nullopt;
    }
    doc->profiles_set = true;
    return kNoErr;
  }
  static Err SyncBeforeAction() {
    HostModel* h;
    if (Err e = begin("SyncBeforeAction", h)) return e;
    ai::DocumentData* doc;
    if (Err e = current(h, doc)) return e;
    doc->synced = true;
    return kNoErr;
  }

  static Err New(const char* presetName, const ai::NewDocumentPreset* preset, std::int32_t dialogStatus,
                 ai::DocumentHandle* document) {
    HostModel* h;
    if (Err e = begin("New", h)) return e;
    if (preset == nullptr || document == nullptr) return kBadParameterErr;
    if (!std::isfinite(preset->width) || !std::isfinite(preset->height) || preset->width <= 0 ||
        preset->height <= 0 || preset->artboardCount < 1 || preset->artboardCount > kMaxArtboards) {
      return kBadParameterErr;
    }
    if (preset->title != nullptr && !HostModel::known(h->strings_, preset->title)) return kBadParameterErr;
    NewDocumentRecord record;
    record.preset_name = presetName ? presetName : "";
    record.dialog_status = dialogStatus;
    record.title = preset->title ? preset->title->text : "";
    std::memcpy(&record.preset, preset, sizeof record.preset);
    record.preset.title = nullptr;  // the handle means nothing once the call returns
    ai::DocumentData* doc = h->new_document(preset->width, preset->height, std::nullopt);
    for (std::int32_t i = 1; i < preset->artboardCount; ++i) {
      const double left = i * (preset->width + kArtboardSpacing);
      doc->artboards.push_back({left, preset->height, left + preset->width, 0});
    }
    doc->created_by_plugin = std::move(record);
    *document = doc;
    return kNoErr;
  }
  static Err Count(std::int32_t* count) {
    HostModel* h;
    if (Err e = begin("Count", h)) return e;
    if (count == nullptr) return kBadParameterErr;
    *count = static_cast<std::int32_t>(h->open_documents_.size());
    return kNoErr;
  }
  static Err GetNthDocument(std::int32_t index, ai::DocumentHandle* document) {
    HostModel* h;
    if (Err e = begin("GetNthDocument", h)) return e;
    const std::vector<ai::DocumentData*> open = h->documents();
    if (document == nullptr || index < 0 || static_cast<std::size_t>(index) >= open.size()) {
      return kBadParameterErr;
    }
    *document = open[static_cast<std::size_t>(index)];
    return kNoErr;
  }

  // --- AI Dictionary -------------------------------------------------------

  static Err Key(const char* text, ai::DictKey* key) {
    HostModel* h;
    if (Err e = begin("Key", h)) return e;
    if (text == nullptr || key == nullptr) return kBadParameterErr;
    auto& slot = h->keys_[text];
    if (!slot) {
      slot = std::make_unique<ai::DictKeyData>();
      slot->text = text;
      h->key_set_.insert(slot.get());
    }
    *key = slot.get();
    return kNoErr;
  }

  static bool usable(HostModel* h, ai::DictionaryRef dictionary, ai::DictKey key) {
    return HostModel::known(h->dictionaries_, dictionary) && HostModel::known(h->key_set_, key);
  }

  static Err GetBinaryEntry(ai::DictionaryRef dictionary, ai::DictKey key, void* value, std::size_t* size) {
    HostModel* h;
    if (Err e = begin("GetBinaryEntry", h)) return e;
    if (!usable(h, dictionary, key) || size == nullptr) return kBadParameterErr;
    auto it = dictionary->dictionary->find(key->text);
    if (it == dictionary->dictionary->end()) return ai::kNoSuchKeyErr;
    if (it->second.type != DictionaryEntry::eType_Binary) return ai::kWrongEntryTypeErr;
    const std::string& bytes = it->second.bytes;
    if (value == nullptr) {
      *size = bytes.size();
      return kNoErr;
    }
    const std::size_t n = std::min(*size, bytes.size());
    if (n != 0) std::memcpy(value, bytes.data(), n);
    *size = n;
    return kNoErr;
  }
  static Err SetBinaryEntry(ai::DictionaryRef dictionary, ai::DictKey key, const void* value,
                            std::size_t size) {
    HostModel* h;
    if (Err e = begin("SetBinaryEntry", h)) return e;
    if (!usable(h, dictionary, key) || (value == nullptr && size != 0)) return kBadParameterErr;
    DictionaryEntry entry;
    entry.type = DictionaryEntry::eType_Binary;
    if (size != 0) entry.bytes.assign(static_cast<const char*>(value), size);
    (*dictionary->dictionary)[key->text] = std::move(entry);
    return kNoErr;
  }
  static Err GetBooleanEntry(ai::DictionaryRef dictionary, ai::DictKey key, bool* value) {
    HostModel* h;
    if (Err e = begin("GetBooleanEntry", h)) return e;
    if (!usable(h, dictionary, key) || value == nullptr) return kBadParameterErr;
    auto it = dictionary->dictionary->find(key->text);
    if (it == dictionary->dictionary->end()) return ai::kNoSuchKeyErr;
    if (it->second.type != DictionaryEntry::eType_Boolean) return ai::kWrongEntryTypeErr;
    *value = it->second.flag;
    return kNoErr;
  }
  static Err SetBooleanEntry(ai::DictionaryRef dictionary, ai::DictKey key, bool value) {
    HostModel* h;
    if (Err e = begin("SetBooleanEntry", h)) return e;
    if (!usable(h, dictionary, key)) return kBadParameterErr;
    DictionaryEntry entry;
    entry.type = DictionaryEntry::eType_Boolean;
    entry.flag = value;
    (*dictionary->dictionary)[key->text] = std::move(entry);
    return kNoErr;
  }
  static Err Release(ai::DictionaryRef dictionary) {
    HostModel* h;
    if (Err e = begin("Release", h)) return e;
    if (!HostModel::known(h->dictionaries_, dictionary)) return kBadParameterErr;
    h->dictionaries_.erase(dictionary);
    return kNoErr;
  }

  // --- AI Action Manager ---------------------------------------------------

  static Err NewParamBlock(ai::ActionParamBlock* block) {
    HostModel* h;
    if (Err e = begin("NewParamBlock", h)) return e;
    if (block == nullptr) return kBadParameterErr;
    *block = HostModel::keep(h->param_blocks_, std::make_unique<ai::ActionParamsData>());
    return kNoErr;
  }
  static Err DisposeParamBlock(ai::ActionParamBlock block) {
    HostModel* h;
    if (Err e = begin("DisposeParamBlock", h)) return e;
    if (!HostModel::known(h->param_blocks_, block)) return kBadParameterErr;
    h->param_blocks_.erase(block);
    return kNoErr;
  }

  static Err set_param(const char* operation, ai::ActionParamBlock block, ActionParam param) {
    HostModel* h;
    if (Err e = begin(operation, h)) return e;
    if (!HostModel::known(h->param_blocks_, block)) return kBadParameterErr;
    block->params.push_back(std::move(param));
    return kNoErr;
  }
  static Err SetInteger(ai::ActionParamBlock block, std::int32_t key, std::int32_t value) {
    ActionParam p;
    p.key = key;
    p.type = ActionParam::eType_Integer;
    p.integer = value;
    return set_param("SetInteger", block, std::move(p));
  }
  static Err SetReal(ai::ActionParamBlock block, std::int32_t key, double value) {
    ActionParam p;
    p.key = key;
    p.type = ActionParam::eType_Real;
    p.real = value;
    return set_param("SetReal", block, std::move(p));
  }
  static Err SetBoolean(ai::ActionParamBlock block, std::int32_t key, bool value) {
    ActionParam p;
    p.key = key;
    p.type = ActionParam::eType_Boolean;
    p.integer = value ? 1 : 0;
    return set_param("SetBoolean", block, std::move(p));
  }
  static Err SetString(ai::ActionParamBlock block, std::int32_t key, const char* value) {
    if (value == nullptr) {
      HostModel* h;
      if (Err e = begin("SetString", h)) return e;
      return kBadParameterErr;
    }
    ActionParam p;
    p.key = key;
    p.type = ActionParam::eType_String;
    p.text = value;
    return set_param("SetString", block, std::move(p));
  }
  static Err SetEnumerated(ai::ActionParamBlock block, std::int32_t key, const char* typeName,
                           std::int32_t value) {
    if (typeName == nullptr) {
      HostModel* h;
      if (Err e = begin("SetEnumerated", h)) return e;
      return kBadParameterErr;
    }
    ActionParam p;
    p.key = key;
    p.type = ActionParam::eType_Enumerated;
    p.integer = value;
    p.type_name = typeName;
    return set_param("SetEnumerated", block, std::move(p));
  }

  static Err PlayActionEvent(const char* eventName, std::int32_t dialogStatus, ai::ActionParamBlock block) {
    HostModel* h = HostModel::current();
    if (h == nullptr) return kBadParameterErr;
    // An injected failure still records the attempt: the report shows what
    // the plug-in tried to play.
    Err result = h->enter("PlayActionEvent");
    if (eventName == nullptr || (block != nullptr && !HostModel::known(h->param_blocks_, block))) {
      return result ? result : kBadParameterErr;
    }
    if (result == kNoErr) result = h->injected(std::string("PlayActionEvent:") + eventName);
    PlayedAction action;
    action.event = eventName;
    action.dialog_status = dialogStatus;
    if (block != nullptr) action.params = block->params;
    if (h->current_ != nullptr) {
      action.synced = h->current_->synced;
      h->current_->synced = false;
    }
    auto effect = h->effects_.find(action.event);
    if (result == kNoErr && effect == h->effects_.end()) result = kBadParameterErr;  // no such action
    if (result == kNoErr && effect->second) result = effect->second(*h, action);
    action.result = result;
    h->actions_.push_back(std::move(action));
    return result;
  }

  // --- AI Matching Art, AI MdMemory, AI Art, AI Path ------------------------

  static Err GetMatchingArt(const ai::MatchingArtSpec* specs, std::int16_t specCount, ai::ArtHandle** matches,
                            std::int32_t* count) {
    HostModel* h;
    if (Err e = begin("GetMatchingArt", h)) return e;
    if (specs == nullptr || specCount <= 0 || matches == nullptr || count == nullptr) return kBadParameterErr;
    ai::DocumentData* doc;
    if (Err e = current(h, doc)) return e;
    std::vector<ai::ArtHandle> found;
    for (ai::ArtData* art : doc->art) {
      for (std::int16_t i = 0; i < specCount; ++i) {
        const ai::MatchingArtSpec& s = specs[i];
        if ((s.type == ai::kArtType_Any || s.type == art->type) &&
            (art->attributes & s.whichAttr) == (s.attr & s.whichAttr)) {
          found.push_back(art);
          break;
        }
      }
    }
    // Always an array, also when nothing matched, so that disposing of the
    // result is the same on every path.
    std::unique_ptr<ai::ArtHandle[]> array(new ai::ArtHandle[found.empty() ? 1 : found.size()]);
    std::copy(found.begin(), found.end(), array.get());
    *matches = array.get();
    *count = static_cast<std::int32_t>(found.size());
    h->art_arrays_.emplace(array.get(), std::move(array));
    return kNoErr;
  }
  static Err DeselectAll() {
    HostModel* h;
    if (Err e = begin("DeselectAll", h)) return e;
    ai::DocumentData* doc;
    if (Err e = current(h, doc)) return e;
    for (ai::ArtData* art : doc->art) art->attributes &= ~ai::kArtAttr_Selected;
    return kNoErr;
  }
  static Err DisposeArray(void* array) {
    HostModel* h;
    if (Err e = begin("DisposeArray", h)) return e;
    if (array == nullptr) return kNoErr;
    if (h->art_arrays_.erase(array) == 0) return kBadParameterErr;
    return kNoErr;
  }

  static bool live(HostModel* h, ai::ArtHandle art) { return HostModel::known(h->live_art_, art); }
  static bool live_path(HostModel* h, ai::ArtHandle art) {
    return live(h, art) && art->type == ai::kArtType_Path;
  }

  static Err NewArt(std::int16_t type, std::int16_t paintOrder, ai::ArtHandle prep, ai::ArtHandle* art) {
    HostModel* h;
    if (Err e = begin("NewArt", h)) return e;
    if (art == nullptr || type < 0) return kBadParameterErr;
    ai::DocumentData* doc;
    if (Err e = current(h, doc)) return e;
    if (prep != nullptr && (!live(h, prep) || prep->document != doc)) return kBadParameterErr;
    auto made = std::make_unique<ai::ArtData>();
    made->document = doc;
    made->type = type;
    made->paint_order = paintOrder;
    // Art is kept bottom to top: above everything, or just above prep.
    auto at = doc->art.end();
    if (prep != nullptr && paintOrder != ai::kPaintOrder_PlaceAboveAll) {
      at = std::find(doc->art.begin(), doc->art.end(), prep) + 1;
    }
    doc->art.insert(at, made.get());
    h->live_art_.insert(made.get());
    *art = made.get();
    h->art_.push_back(std::move(made));
    return kNoErr;
  }
  static Err DisposeArt(ai::ArtHandle art) {
    HostModel* h;
    if (Err e = begin("DisposeArt", h)) return e;
    if (!live(h, art)) return kBadParameterErr;
    if (art->attributes & ai::kArtAttr_Locked) return kLockedArtErr;
    auto& list = art->document->art;
    list.erase(std::find(list.begin(), list.end(), art));
    art->alive = false;
    h->live_art_.erase(art);
    return kNoErr;
  }
  static Err GetArtType(ai::ArtHandle art, std::int16_t* type) {
    HostModel* h;
    if (Err e = begin("GetArtType", h)) return e;
    if (!live(h, art) || type == nullptr) return kBadParameterErr;
    *type = art->type;
    return kNoErr;
  }
  static Err GetArtUserAttr(ai::ArtHandle art, std::int32_t which, std::int32_t* attr) {
    HostModel* h;
    if (Err e = begin("GetArtUserAttr", h)) return e;
    if (!live(h, art) || attr == nullptr) return kBadParameterErr;
    *attr = art->attributes & which;
    return kNoErr;
  }
  static Err SetArtUserAttr(ai::ArtHandle art, std::int32_t which, std::int32_t attr) {
    HostModel* h;
    if (Err e = begin("SetArtUserAttr", h)) return e;
    if (!live(h, art)) return kBadParameterErr;
    art->attributes = (art->attributes & ~which) | (attr & which);
    return kNoErr;
  }
  static Err ArtGetDictionary(ai::ArtHandle art, ai::DictionaryRef* dictionary) {
    HostModel* h;
    if (Err e = begin_shared("GetDictionary", ai::kArtSuite, h)) return e;
    if (!live(h, art) || dictionary == nullptr) return kBadParameterErr;
    auto ref = std::make_unique<ai::DictionaryData>();
    ref->dictionary = art->dictionary;
    *dictionary = HostModel::keep(h->dictionaries_, std::move(ref));
    return kNoErr;
  }

  static bool in_range(const ai::ArtData* path, std::int16_t first, std::int16_t count) {
    return first >= 0 && count >= 0 && static_cast<std::size_t>(first) + count <= path->segments.size();
  }

  static Err SetPathSegmentCount(ai::ArtHandle path, std::int16_t count) {
    HostModel* h;
    if (Err e = begin("SetPathSegmentCount", h)) return e;
    if (!live_path(h, path) || count < 0) return kBadParameterErr;
    path->segments.resize(static_cast<std::size_t>(count), ai::PathSegment{});
    return kNoErr;
  }
  static Err SetPathSegments(ai::ArtHandle path, std::int16_t first, std::int16_t count,
                             const ai::PathSegment* segments) {
    HostModel* h;
    if (Err e = begin("SetPathSegments", h)) return e;
    if (!live_path(h, path) || !in_range(path, first, count) || (segments == nullptr && count != 0)) {
      return kBadParameterErr;
    }
    for (std::int16_t i = 0; i < count; ++i) {
      if (!finite(segments[i].p) || !finite(segments[i].in) || !finite(segments[i].out))
        return kBadParameterErr;
    }
    std::copy(segments, segments + count, path->segments.begin() + first);
    return kNoErr;
  }
  static Err GetPathSegmentCount(ai::ArtHandle path, std::int16_t* count) {
    HostModel* h;
    if (Err e = begin("GetPathSegmentCount", h)) return e;
    if (!live_path(h, path) || count == nullptr) return kBadParameterErr;
    *count = static_cast<std::int16_t>(path->segments.size());
    return kNoErr;
  }
  static Err GetPathSegments(ai::ArtHandle path, std::int16_t first, std::int16_t count,
                             ai::PathSegment* segments) {
    HostModel* h;
    if (Err e = begin("GetPathSegments", h)) return e;
    if (!live_path(h, path) || !in_range(path, first, count) || (segments == nullptr && count != 0)) {
      return kBadParameterErr;
    }
    std::copy(path->segments.begin() + first, path->segments.begin() + first + count, segments);
    return kNoErr;
  }
  static Err SetPathClosed(ai::ArtHandle path, bool closed) {
    HostModel* h;
    if (Err e = begin("SetPathClosed", h)) return e;
    if (!live_path(h, path)) return kBadParameterErr;
    path->closed = closed;
    return kNoErr;
  }

  // --- AI Artboard ---------------------------------------------------------

  static bool usable_list(HostModel* h, ai::ArtboardListRef list) {
    return HostModel::known(h->artboard_lists_, list) && list->document->open;
  }

  static Err GetArtboardList(ai::ArtboardListRef* list) {
    HostModel* h;
    if (Err e = begin("GetArtboardList", h)) return e;
    if (list == nullptr) return kBadParameterErr;
    ai::DocumentData* doc;
    if (Err e = current(h, doc)) return e;
    auto made = std::make_unique<ai::ArtboardListData>();
    made->document = doc;
    *list = HostModel::keep(h->artboard_lists_, std::move(made));
    return kNoErr;
  }
  static Err ReleaseArtboardList(ai::ArtboardListRef list) {
    HostModel* h;
    if (Err e = begin("ReleaseArtboardList", h)) return e;
    if (!HostModel::known(h->artboard_lists_, list)) return kBadParameterErr;
    h->artboard_lists_.erase(list);
    return kNoErr;
  }
  static Err GetArtboardProperties(ai::ArtboardListRef list, std::int32_t index,
                                   ai::ArtboardProperties* properties) {
    HostModel* h;
    if (Err e = begin("GetArtboardProperties", h)) return e;
    if (!usable_list(h, list) || properties == nullptr || index < 0 ||
        static_cast<std::size_t>(index) >= list->document->artboards.size()) {
      return kBadParameterErr;
    }
    auto made = std::make_unique<ai::ArtboardPropertiesData>();
    made->bounds = list->document->artboards[static_cast<std::size_t>(index)];
    *properties = HostModel::keep(h->artboard_properties_, std::move(made));
    return kNoErr;
  }
  static Err DisposeArtboardProperties(ai::ArtboardProperties properties) {
    HostModel* h;
    if (Err e = begin("DisposeArtboardProperties", h)) return e;
    if (!HostModel::known(h->artboard_properties_, properties)) return kBadParameterErr;
    h->artboard_properties_.erase(properties);
    return kNoErr;
  }
  static Err GetPosition(ai::ArtboardProperties properties, ai::RealRect* bounds) {
    HostModel* h;
    if (Err e = begin("GetPosition", h)) return e;
    if (!HostModel::known(h->artboard_properties_, properties) || bounds == nullptr) return kBadParameterErr;
    *bounds = properties->bounds;
    return kNoErr;
  }
  static Err SetPosition(ai::ArtboardProperties properties, const ai::RealRect* bounds) {
    HostModel* h;
    if (Err e = begin("SetPosition", h)) return e;
    // Bounds are left, top, right, bottom with y growing upward: an artboard
    // has right > left and top > bottom.
    if (!HostModel::known(h->artboard_properties_, properties) || bounds == nullptr ||
        !proper_bounds(*bounds)) {
      return kBadParameterErr;
    }
    properties->bounds = *bounds;
    return kNoErr;
  }
  static Err Update(ai::ArtboardListRef list, std::int32_t index, ai::ArtboardProperties properties) {
    HostModel* h;
    if (Err e = begin("Update", h)) return e;
    if (!usable_list(h, list) || !HostModel::known(h->artboard_properties_, properties) || index < 0 ||
        static_cast<std::size_t>(index) >= list->document->artboards.size()) {
      return kBadParameterErr;
    }
    list->document->artboards[static_cast<std::size_t>(index)] = properties->bounds;
    return kNoErr;
  }

  // --- AI Timer, AI Runtime, Override AI Color Conversion -------------------

  static Err AddTimer(ai::PluginRef plugin, const char* name, std::int32_t period, ai::TimerHandle* timer) {
    HostModel* h;
    if (Err e = begin("AddTimer", h)) return e;
    if (plugin != h->plugin_ref() || name == nullptr || period <= 0 || timer == nullptr)
      return kBadParameterErr;
    auto added = std::make_unique<ai::TimerData>();
    added->name = name;
    added->period = period;
    added->countdown = period;
    *timer = added.get();
    h->timer_set_.insert(added.get());
    h->timers_.push_back(std::move(added));
    return kNoErr;
  }
  static Err SetTimerActive(ai::TimerHandle timer, bool active) {
    HostModel* h;
    if (Err e = begin("SetTimerActive", h)) return e;
    if (!HostModel::known(h->timer_set_, timer)) return kBadParameterErr;
    // A timer that becomes active waits a whole period before it fires.
    if (active && !timer->active) timer->countdown = timer->period;
    timer->active = active;
    return kNoErr;
  }

  static Err GetAppMajorVersion(std::int32_t* version) {
    HostModel* h;
    if (Err e = begin("GetAppMajorVersion", h)) return e;
    if (version == nullptr) return kBadParameterErr;
    *version = h->major_version_;
    return kNoErr;
  }

  static Err ProfileFromBytes(const void* bytes, std::size_t size, ai::ColorProfile* profile) {
    HostModel* h;
    if (Err e = begin("ProfileFromBytes", h)) return e;
    if (bytes == nullptr || size == 0 || profile == nullptr) return kBadParameterErr;
    auto made = std::make_unique<ai::ColorProfileData>();
    made->info.size = size;
    made->info.digest = fnv1a64(bytes, size);
    *profile = HostModel::keep(h->profiles_, std::move(made));
    return kNoErr;
  }
  static Err FreeProfile(ai::ColorProfile profile) {
    HostModel* h;
    if (Err e = begin("FreeProfile", h)) return e;
    if (!HostModel::known(h->profiles_, profile)) return kBadParameterErr;
    h->profiles_.erase(profile);
    return kNoErr;
  }
};

namespace {

using F = SuiteFunctions;

ai::BasicSuite basic_suite_table = {F::AcquireSuite, F::ReleaseSuite};
const ai::AccessSuite access_suite = {F::AcquirePlugin, F::ReleasePlugin};
const ai::PluginsSuite plugins_suite = {F::SetPluginName, F::GetPluginName};
const ai::NotifierSuite notifier_suite = {F::AddNotifier};
const ai::ContextSuite context_suite = {F::PushAppContext, F::PopAppContext};
const ai::UserSuite user_suite = {F::MessageAlert};
const ai::FilePathSuite file_path_suite = {F::NewFilePath, F::GetFullPath, F::DisposeFilePath};
const ai::FoldersSuite folders_suite = {F::FindFolder};
const ai::BlocksSuite blocks_suite = {F::AllocateBlock, F::FreeBlock};
const ai::MenuSuite menu_suite = {F::AddMenuItem, F::AddMenuGroupAsSubMenu, F::EnableItem, F::DisableItem,
                                  F::IsItemEnabled};
const ai::UnicodeStringSuite unicode_string_suite = {F::NewFromUTF8, F::GetUTF8, F::DisposeString};
const ai::DocumentSuite document_suite = {
    F::GetDocument,         F::DocumentGetDictionary, F::GetDocumentPageSize, F::GetDocumentFileSpecification,
    F::SetDocumentModified, F::SetDocumentProfiles,   F::SyncBeforeAction};
const ai::DocumentListSuite document_list_suite = {F::New, F::Count, F::GetNthDocument};
const ai::DictionarySuite dictionary_suite = {
    F::Key, F::GetBinaryEntry, F::SetBinaryEntry, F::GetBooleanEntry, F::SetBooleanEntry, F::Release};
const ai::ActionManagerSuite action_manager_suite = {F::NewParamBlock, F::DisposeParamBlock, F::SetInteger,
                                                     F::SetReal,       F::SetBoolean,        F::SetString,
                                                     F::SetEnumerated, F::PlayActionEvent};
const ai::MatchingArtSuite matching_art_suite = {F::GetMatchingArt, F::DeselectAll};
const ai::MdMemorySuite md_memory_suite = {F::DisposeArray};
const ai::ArtSuite art_suite = {F::NewArt,         F::DisposeArt,     F::GetArtType,
                                F::GetArtUserAttr, F::SetArtUserAttr, F::ArtGetDictionary};
const ai::ArtboardSuite artboard_suite = {F::GetArtboardList,
                                          F::ReleaseArtboardList,
                                          F::GetArtboardProperties,
                                          F::DisposeArtboardProperties,
                                          F::GetPosition,
                                          F::SetPosition,
                                          F::Update};
const ai::TimerSuite timer_suite = {F::AddTimer, F::SetTimerActive};
const ai::RuntimeSuite runtime_suite = {F::GetAppMajorVersion};
const ai::PathSuite path_suite = {F::SetPathSegmentCount, F::SetPathSegments, F::GetPathSegmentCount,
                                  F::GetPathSegments, F::SetPathClosed};
const ai::ColorConversionSuite color_conversion_suite = {F::ProfileFromBytes, F::FreeProfile};

const SuiteFunctions::SuiteTable kSuites[] = {
    {ai::kAccessSuite, ai::kAccessSuiteVersion, &access_suite},
    {ai::kPluginsSuite, ai::kPluginsSuiteVersion, &plugins_suite},
    {ai::kNotifierSuite, ai::kNotifierSuiteVersion, &notifier_suite},
    {ai::kContextSuite, ai::kContextSuiteVersion, &context_suite},
    {ai::kUserSuite, ai::kUserSuiteVersion, &user_suite},
    {ai::kFilePathSuite, ai::kFilePathSuiteVersion, &file_path_suite},
    {ai::kFoldersSuite, ai::kFoldersSuiteVersion, &folders_suite},
    {ai::kBlocksSuite, ai::kBlocksSuiteVersion, &blocks_suite},
    {ai::kMenuSuite, ai::kMenuSuiteVersion, &menu_suite},
    {ai::kUnicodeStringSuite, ai::kUnicodeStringSuiteVersion, &unicode_string_suite},
    {ai::kDocumentSuite, ai::kDocumentSuiteVersion, &document_suite},
    {ai::kDocumentListSuite, ai::kDocumentListSuiteVersion, &document_list_suite},
    {ai::kDictionarySuite, ai::kDictionarySuiteVersion, &dictionary_suite},
    {ai::kActionManagerSuite, ai::kActionManagerSuiteVersion, &action_manager_suite},
    {ai::kMatchingArtSuite, ai::kMatchingArtSuiteVersion, &matching_art_suite},
    {ai::kMdMemorySuite, ai::kMdMemorySuiteVersion, &md_memory_suite},
    {ai::kArtSuite, ai::kArtSuiteVersion, &art_suite},
    {ai::kArtboardSuite, ai::kArtboardSuiteVersion, &artboard_suite},
    {ai::kTimerSuite, ai::kTimerSuiteVersion, &timer_suite},
    {ai::kRuntimeSuite, ai::kRuntimeSuiteVersion, &runtime_suite},
    {ai::kPathSuite, ai::kPathSuiteVersion, &path_suite},
    {ai::kColorConversionSuite, ai::kColorConversionSuiteVersion, &color_conversion_suite},
};

// Every operation of the tables above, by the name AIHost.h gives it.
// clang-format off
const char* const kOperations[] = {
    "AcquireSuite", "ReleaseSuite",
    "AcquirePlugin", "ReleasePlugin",
    "SetPluginName", "GetPluginName",
    "AddNotifier",
    "PushAppContext", "PopAppContext",
    "MessageAlert",
    "NewFilePath", "GetFullPath", "DisposeFilePath",
    "FindFolder",
    "AllocateBlock", "FreeBlock",
    "AddMenuItem", "AddMenuGroupAsSubMenu", "EnableItem", "DisableItem", "IsItemEnabled",
    "NewFromUTF8", "GetUTF8", "DisposeString",
    "GetDocument", "GetDictionary", "GetDocumentPageSize", "GetDocumentFileSpecification",
    "SetDocumentModified", "SetDocumentProfiles", "SyncBeforeAction",
    "New", "Count", "GetNthDocument",
    "Key", "GetBinaryEntry", "SetBinaryEntry", "GetBooleanEntry", "SetBooleanEntry", "Release",
    "NewParamBlock", "DisposeParamBlock", "SetInteger", "SetReal", "SetBoolean", "SetString", "SetEnumerated",
    "PlayActionEvent",
    "GetMatchingArt", "DeselectAll",
    "DisposeArray",
    "NewArt", "DisposeArt", "GetArtType", "GetArtUserAttr", "SetArtUserAttr",
    "GetArtboardList", "ReleaseArtboardList", "GetArtboardProperties", "DisposeArtboardProperties",
    "GetPosition", "SetPosition", "Update",
    "AddTimer", "SetTimerActive",
    "GetAppMajorVersion",
    "SetPathSegmentCount", "SetPathSegments", "GetPathSegmentCount", "GetPathSegments", "SetPathClosed",
    "ProfileFromBytes", "FreeProfile",
};
// clang-format on

// Operations that two suites share, each with the suites that have it.
const struct {
  const char* operation;
  const char* suites[2];
} kSharedOperations[] = {
    {"GetDictionary", {ai::kDocumentSuite, ai::kArtSuite}},
};

}  // namespace

const SuiteFunctions::SuiteTable* SuiteFunctions::find_suite(const char* name, std::int32_t version) {
  for (const SuiteTable& s : kSuites) {
    if (s.version == version && std::strcmp(s.name, name) == 0) return &s;
  }
  return nullptr;
}

ai::BasicSuite* HostModel::basic_suite() { return &basic_suite_table; }

std::vector<std::string> HostModel::operations() { return {std::begin(kOperations), std::end(kOperations)}; }

bool HostModel::is_known_operation(const std::string& operation) {
  static const std::string kAcquirePrefix = "AcquireSuite:";
  static const std::string kPlayPrefix = "PlayActionEvent:";
  if (operation.compare(0, kAcquirePrefix.size(), kAcquirePrefix) == 0) {
    const std::string name = operation.substr(kAcquirePrefix.size());
    for (const auto& s : kSuites) {
      if (name == s.name) return true;
    }
    return false;
  }
  if (operation.compare(0, kPlayPrefix.size(), kPlayPrefix) == 0)
    return operation.size() > kPlayPrefix.size();
  for (const auto& shared : kSharedOperations) {
    for (const char* suite : shared.suites) {
      if (operation == std::string(shared.operation) + ":" + suite) return true;
    }
  }
  for (const char* known : kOperations) {
    if (operation == known) return true;
  }
  return false;
}

}  // namespace vxsim
