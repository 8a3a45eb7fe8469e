#include "fake_host.h"

#include "AIError.h"

#include <cstring>
#include <stdexcept>

namespace vxtest {

namespace {

FakeHost* current_host = nullptr;

FakeHost& H() { return FakeHost::Current(); }

// Records the call and answers the failure set for it, if any.
ai::Err Enter(const char* operation) {
  H().calls.push_back(operation);
  return H().Failure(operation);
}

// --- Suite functions -----------------------------------------------------------

ai::Err AcquirePlugin(ai::PluginRef, ai::AccessRef* access) {
  if (ai::Err err = Enter("AcquirePlugin")) return err;
  *access = H().NewHandle<ai::AccessRef>();
  ++H().access_holds;
  return ai::kNoErr;
}
ai::Err ReleasePlugin(ai::AccessRef) {
  if (ai::Err err = Enter("ReleasePlugin")) return err;
  --H().access_holds;
  return ai::kNoErr;
}

ai::Err SetPluginName(ai::PluginRef, const char* name) {
  if (ai::Err err = Enter("SetPluginName")) return err;
  H().plugin_name = name;
  return ai::kNoErr;
}
ai::Err GetPluginName(ai::PluginRef, const char** name) {
  if (ai::Err err = Enter("GetPluginName")) return err;
  *name = H().plugin_name.c_str();
  return ai::kNoErr;
}

ai::Err AddNotifier(ai::PluginRef, const char* name, const char* type, ai::NotifierHandle* notifier) {
  if (ai::Err err = Enter("AddNotifier")) return err;
  *notifier = H().NewHandle<ai::NotifierHandle>();
  H().notifiers.push_back({name, type, *notifier});
  return ai::kNoErr;
}

ai::Err PushAppContext(ai::PluginRef, ai::AppContext* context) {
  if (ai::Err err = Enter("PushAppContext")) return err;
  *context = H().NewHandle<ai::AppContext>();
  ++H().context_depth;
  ++H().context_pushes;
  return ai::kNoErr;
}
ai::Err PopAppContext(ai::AppContext) {
  if (ai::Err err = Enter("PopAppContext")) return err;
  --H().context_depth;
  return ai::kNoErr;
}

ai::Err AddMenuItem(ai::PluginRef, const char* key, const char* group, ai::UnicodeStringRef text,
                    std::int32_t options, ai::MenuItemHandle* item) {
  if (ai::Err err = Enter("AddMenuItem")) return err;
  const auto found = H().strings.find(text);
  if (found == H().strings.end()) return ai::kBadParameterErr;
  *item = H().NewHandle<ai::MenuItemHandle>();
  H().menu_items.push_back({key, group, found->second, options, *item, true});
  return ai::kNoErr;
}
ai::Err AddMenuGroupAsSubMenu(const char* name, std::int32_t options, ai::MenuItemHandle parent,
                              ai::MenuGroupHandle* group) {
  if (ai::Err err = Enter("AddMenuGroupAsSubMenu")) return err;
  if (H().FindItem(parent) == nullptr) return ai::kBadParameterErr;
  *group = H().NewHandle<ai::MenuGroupHandle>();
  H().menu_groups.push_back({name, options, parent});
  return ai::kNoErr;
}
ai::Err SetItemEnabled(ai::MenuItemHandle item, bool enabled) {
  for (auto& known : H().menu_items)
    if (known.handle == item) {
      known.enabled = enabled;
      return ai::kNoErr;
    }
  return ai::kBadParameterErr;
}
ai::Err EnableItem(ai::MenuItemHandle item) {
  if (ai::Err err = Enter("EnableItem")) return err;
  return SetItemEnabled(item, true);
}
ai::Err DisableItem(ai::MenuItemHandle item) {
  if (ai::Err err = Enter("DisableItem")) return err;
  return SetItemEnabled(item, false);
}
ai::Err IsItemEnabled(ai::MenuItemHandle item, bool* enabled) {
  if (ai::Err err = Enter("IsItemEnabled")) return err;
  const auto* known = H().FindItem(item);
  if (known == nullptr) return ai::kBadParameterErr;
  *enabled = known->enabled;
  return ai::kNoErr;
}

ai::Err NewFromUTF8(const char* text, std::size_t length, ai::UnicodeStringRef* out) {
  if (ai::Err err = Enter("NewFromUTF8")) return err;
  *out = H().NewHandle<ai::UnicodeStringRef>();
  H().strings[*out] = std::string(text, length);
  return ai::kNoErr;
}
ai::Err GetUTF8(ai::UnicodeStringRef string, const char** text, std::size_t* length) {
  if (ai::Err err = Enter("GetUTF8")) return err;
  const auto found = H().strings.find(string);
  if (found == H().strings.end()) return ai::kBadParameterErr;
  *text = found->second.data();
  *length = found->second.size();
  return ai::kNoErr;
}
ai::Err DisposeString(ai::UnicodeStringRef string) {
  if (ai::Err err = Enter("DisposeString")) return err;
  return H().strings.erase(string) == 1 ? ai::kNoErr : ai::kBadParameterErr;
}

ai::Err AddTimer(ai::PluginRef, const char* name, std::int32_t period, ai::TimerHandle* timer) {
  if (ai::Err err = Enter("AddTimer")) return err;
  *timer = H().NewHandle<ai::TimerHandle>();
  H().timers.push_back({name, period, false, *timer});
  return ai::kNoErr;
}
ai::Err SetTimerActive(ai::TimerHandle timer, bool active) {
  if (ai::Err err = Enter("SetTimerActive")) return err;
  for (auto& known : H().timers)
    if (known.handle == timer) {
      known.active = active;
      return ai::kNoErr;
    }
  return ai::kBadParameterErr;
}

// This host never has a document open.
ai::Err GetDocument(ai::DocumentHandle*) {
  if (ai::Err err = Enter("GetDocument")) return err;
  return ai::kNoDocumentErr;
}

// --- Suite tables ----------------------------------------------------------------
// Suites whose operations the plug-in does not call yet are served with
// empty tables: a call through one would crash the test, which is the point.

const ai::AccessSuite kAccess{AcquirePlugin, ReleasePlugin};
const ai::PluginsSuite kPlugins{SetPluginName, GetPluginName};
const ai::NotifierSuite kNotifier{AddNotifier};
const ai::ContextSuite kContext{PushAppContext, PopAppContext};
const ai::UserSuite kUser{};
const ai::FilePathSuite kFilePath{};
const ai::FoldersSuite kFolders{};
const ai::BlocksSuite kBlocks{};
const ai::MenuSuite kMenu{AddMenuItem, AddMenuGroupAsSubMenu, EnableItem, DisableItem, IsItemEnabled};
const ai::UnicodeStringSuite kUnicodeString{NewFromUTF8, GetUTF8, DisposeString};
const ai::DocumentSuite kDocument{GetDocument, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
const ai::DocumentListSuite kDocumentList{};
const ai::DictionarySuite kDictionary{};
const ai::ActionManagerSuite kActionManager{};
const ai::MatchingArtSuite kMatchingArt{};
const ai::MdMemorySuite kMdMemory{};
const ai::ArtSuite kArt{};
const ai::ArtboardSuite kArtboard{};
const ai::TimerSuite kTimer{AddTimer, SetTimerActive};

struct Served {
  const char* name;
  std::int32_t version;
  const void* table;
};

const Served kServed[] = {
    {ai::kAccessSuite, ai::kAccessSuiteVersion, &kAccess},
    {ai::kPluginsSuite, ai::kPluginsSuiteVersion, &kPlugins},
    {ai::kNotifierSuite, ai::kNotifierSuiteVersion, &kNotifier},
    {ai::kContextSuite, ai::kContextSuiteVersion, &kContext},
    {ai::kUserSuite, ai::kUserSuiteVersion, &kUser},
    {ai::kFilePathSuite, ai::kFilePathSuiteVersion, &kFilePath},
    {ai::kFoldersSuite, ai::kFoldersSuiteVersion, &kFolders},
    {ai::kBlocksSuite, ai::kBlocksSuiteVersion, &kBlocks},
    {ai::kMenuSuite, ai::kMenuSuiteVersion, &kMenu},
    {ai::kUnicodeStringSuite, ai::kUnicodeStringSuiteVersion, &kUnicodeString},
    {ai::kDocumentSuite, ai::kDocumentSuiteVersion, &kDocument},
    {ai::kDocumentListSuite, ai::kDocumentListSuiteVersion, &kDocumentList},
    {ai::kDictionarySuite, ai::kDictionarySuiteVersion, &kDictionary},
    {ai::kActionManagerSuite, ai::kActionManagerSuiteVersion, &kActionManager},
    {ai::kMatchingArtSuite, ai::kMatchingArtSuiteVersion, &kMatchingArt},
    {ai::kMdMemorySuite, ai::kMdMemorySuiteVersion, &kMdMemory},
    {ai::kArtSuite, ai::kArtSuiteVersion, &kArt},
    {ai::kArtboardSuite, ai::kArtboardSuiteVersion, &kArtboard},
    {ai::kTimerSuite, ai::kTimerSuiteVersion, &kTimer},
};

ai::Err AcquireSuite(const char* name, std::int32_t version, const void** suite) {
  H().calls.push_back("Acquire " + std::string(name) + " " + std::to_string(version));
  if (ai::Err err = H().Failure("Acquire " + std::string(name))) return err;
  for (const Served& served : kServed) {
    if (std::strcmp(served.name, name) == 0 && served.version == version) {
      *suite = served.table;
      ++H().held_suites[name];
      return ai::kNoErr;
    }
  }
  return ai::kSuiteNotFoundErr;
}

ai::Err ReleaseSuite(const char* name, std::int32_t version) {
  H().calls.push_back("Release " + std::string(name) + " " + std::to_string(version));
  const auto held = H().held_suites.find(name);
  if (held == H().held_suites.end()) return ai::kBadParameterErr;
  if (--held->second == 0) H().held_suites.erase(held);
  return ai::kNoErr;
}

}  // namespace

FakeHost::FakeHost()
    : basic_{AcquireSuite, ReleaseSuite},
      self_(reinterpret_cast<ai::PluginRef>(0x5E1F)),
      previous_(current_host) {
  current_host = this;
}

FakeHost::~FakeHost() { current_host = previous_; }

FakeHost& FakeHost::Current() {
  if (current_host == nullptr) throw std::logic_error("no fake host");
  return *current_host;
}

void FakeHost::Fail(const std::string& operation, ai::Err code, int count) {
  failures_[operation] = {code, count, false};
}

void FakeHost::Throw(const std::string& operation, ai::Err code, int count) {
  failures_[operation] = {code, count, true};
}

ai::Err FakeHost::Failure(const std::string& operation) {
  const auto found = failures_.find(operation);
  if (found == failures_.end() || found->second.count == 0) return ai::kNoErr;
  if (found->second.count > 0) --found->second.count;
  if (found->second.throws) {
    if (found->second.code != ai::kNoErr) throw ai::Error(found->second.code);
    throw std::runtime_error("host broke its interface");
  }
  return found->second.code;
}

std::vector<std::string> FakeHost::CallsStartingWith(const std::string& prefix) const {
  std::vector<std::string> out;
  for (const auto& call : calls)
    if (call.compare(0, prefix.size(), prefix) == 0) out.push_back(call);
  return out;
}

int FakeHost::HeldSuiteCount() const {
  int count = 0;
  for (const auto& [name, n] : held_suites) count += n;
  return count;
}

const FakeHost::MenuItem* FakeHost::FindItem(ai::MenuItemHandle handle) const {
  for (const auto& item : menu_items)
    if (item.handle == handle) return &item;
  return nullptr;
}

const FakeHost::MenuItem* FakeHost::FindItem(const std::string& text) const {
  for (const auto& item : menu_items)
    if (item.text == text) return &item;
  return nullptr;
}

}  // namespace vxtest
