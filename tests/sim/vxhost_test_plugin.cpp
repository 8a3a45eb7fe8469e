// A small plug-in module for vxhost's program tests. At start-up it takes
// the suites it needs (a refused suite fails the start-up with the host's
// code), names itself and adds three items to "Place Document":
//   "Make Document"  a 200 x 100 document with a dictionary entry, then an
//                    "adobe_saveACopyAs" with one parameter: the file
//                    vxhost-test.pdf in the host's temporary folder
//   "Say Hello"      an alert "Hello from the plug-in"
//   "Adjust"         asks for updates; enabled only with a document open
// and a timer "TestTimer" of 60 ticks that does nothing.
#include <cstring>
#include <string>

#include "AIHost.h"

namespace {

struct Suites {
  const ai::PluginsSuite* plugins = nullptr;
  const ai::MenuSuite* menu = nullptr;
  const ai::UnicodeStringSuite* strings = nullptr;
  const ai::TimerSuite* timer = nullptr;
  const ai::DocumentSuite* document = nullptr;
  const ai::DocumentListSuite* documents = nullptr;
  const ai::DictionarySuite* dictionary = nullptr;
  const ai::ActionManagerSuite* actions = nullptr;
  const ai::UserSuite* user = nullptr;
  const ai::FoldersSuite* folders = nullptr;
  const ai::FilePathSuite* file_paths = nullptr;
  ai::MenuItemHandle make = nullptr;
  ai::MenuItemHandle hello = nullptr;
  ai::MenuItemHandle adjust = nullptr;
};

template <class Suite>
ai::Err acquire(ai::BasicSuite* basic, const char* name, std::int32_t version, const Suite** suite) {
  const void* table = nullptr;
  const ai::Err result = basic->AcquireSuite(name, version, &table);
  *suite = static_cast<const Suite*>(table);
  return result;
}

ai::Err add_item(Suites& s, ai::PluginRef self, const char* text, std::int32_t options,
                 ai::MenuItemHandle* item) {
  ai::UnicodeStringRef string = nullptr;
  if (ai::Err e = s.strings->NewFromUTF8(text, std::strlen(text), &string)) return e;
  const ai::Err result = s.menu->AddMenuItem(self, "VXHostTest", "Place Document", string, options, item);
  s.strings->DisposeString(string);
  return result;
}

ai::Err startup(ai::PluginMessageData* m) {
  Suites* s = new Suites;
  m->globals = s;
  ai::BasicSuite* b = m->basic;
  if (ai::Err e = acquire(b, ai::kPluginsSuite, ai::kPluginsSuiteVersion, &s->plugins)) return e;
  if (ai::Err e = acquire(b, ai::kMenuSuite, ai::kMenuSuiteVersion, &s->menu)) return e;
  if (ai::Err e = acquire(b, ai::kUnicodeStringSuite, ai::kUnicodeStringSuiteVersion, &s->strings)) return e;
  if (ai::Err e = acquire(b, ai::kTimerSuite, ai::kTimerSuiteVersion, &s->timer)) return e;
  if (ai::Err e = acquire(b, ai::kDocumentSuite, ai::kDocumentSuiteVersion, &s->document)) return e;
  if (ai::Err e = acquire(b, ai::kDocumentListSuite, ai::kDocumentListSuiteVersion, &s->documents)) return e;
  if (ai::Err e = acquire(b, ai::kDictionarySuite, ai::kDictionarySuiteVersion, &s->dictionary)) return e;
  if (ai::Err e = acquire(b, ai::kActionManagerSuite, ai::kActionManagerSuiteVersion, &s->actions)) return e;
  if (ai::Err e = acquire(b, ai::kUserSuite, ai::kUserSuiteVersion, &s->user)) return e;
  if (ai::Err e = acquire(b, ai::kFoldersSuite, ai::kFoldersSuiteVersion, &s->folders)) return e;
  if (ai::Err e = acquire(b, ai::kFilePathSuite, ai::kFilePathSuiteVersion, &s->file_paths)) return e;
  s->plugins->SetPluginName(m->self, "VXHostTest");
  if (ai::Err e = add_item(*s, m->self, "Make Document", 0, &s->make)) return e;
  if (ai::Err e = add_item(*s, m->self, "Say Hello", 0, &s->hello)) return e;
  if (ai::Err e = add_item(*s, m->self, "Adjust", ai::kMenuItemWantsUpdate, &s->adjust)) return e;
  ai::TimerHandle timer = nullptr;
  return s->timer->AddTimer(m->self, "TestTimer", 60, &timer);
}

// The host's temporary folder as text.
ai::Err temporary_folder(Suites& s, std::string* path) {
  ai::FilePathRef folder = nullptr;
  if (ai::Err e = s.folders->FindFolder(ai::kFolder_Temporary, &folder)) return e;
  ai::UnicodeStringRef text = nullptr;
  ai::Err result = s.file_paths->GetFullPath(folder, &text);
  if (result == ai::kNoErr) {
    const char* utf8 = nullptr;
    std::size_t length = 0;
    result = s.strings->GetUTF8(text, &utf8, &length);
    if (result == ai::kNoErr) path->assign(utf8, length);
    s.strings->DisposeString(text);
  }
  s.file_paths->DisposeFilePath(folder);
  return result;
}

ai::Err make_document(Suites& s) {
  ai::NewDocumentPreset preset{};
  preset.width = 200;
  preset.height = 100;
  preset.artboardCount = 1;
  ai::DocumentHandle document = nullptr;
  if (ai::Err e = s.documents->New("", &preset, 0, &document)) return e;
  ai::DictionaryRef dictionary = nullptr;
  ai::DictKey key = nullptr;
  if (ai::Err e = s.document->GetDictionary(&dictionary)) return e;
  s.dictionary->Key("VXHostTestData", &key);
  const unsigned char bytes[] = {0xCA, 0xFE};
  s.dictionary->SetBinaryEntry(dictionary, key, bytes, sizeof bytes);
  s.dictionary->Release(dictionary);
  std::string pdf;
  if (ai::Err e = temporary_folder(s, &pdf)) return e;
  if (pdf.empty() || pdf.back() != '/') pdf += '/';
  pdf += "vxhost-test.pdf";
  ai::ActionParamBlock block = nullptr;
  if (ai::Err e = s.actions->NewParamBlock(&block)) return e;
  s.actions->SetString(block, ai::FourCC("name"), pdf.c_str());
  const ai::Err played = s.actions->PlayActionEvent("adobe_saveACopyAs", ai::kDialogStatusNone, block);
  s.actions->DisposeParamBlock(block);
  return played;
}

ai::Err menu_go(Suites& s, ai::MenuItemHandle item) {
  if (item == s.make) return make_document(s);
  if (item == s.hello) {
    ai::UnicodeStringRef text = nullptr;
    const char hello[] = "Hello from the plug-in";
    if (ai::Err e = s.strings->NewFromUTF8(hello, sizeof hello - 1, &text)) return e;
    const ai::Err result = s.user->MessageAlert(text);
    s.strings->DisposeString(text);
    return result;
  }
  return ai::kNoErr;
}

ai::Err menu_update(Suites& s, ai::MenuItemHandle item) {
  if (item != s.adjust) return ai::kNoErr;
  ai::DocumentHandle document = nullptr;
  return s.document->GetDocument(&document) == ai::kNoErr ? s.menu->EnableItem(item)
                                                          : s.menu->DisableItem(item);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) ai::Err PluginMain(const char* caller, const char* selector,
                                                                     void* message) {
  auto* m = static_cast<ai::PluginMessageData*>(message);
  auto* s = static_cast<Suites*>(m->globals);
  if (std::strcmp(caller, ai::kCallerInterface) == 0 && std::strcmp(selector, ai::kSelectorStartup) == 0) {
    const ai::Err result = startup(m);
    if (result != ai::kNoErr) {
      delete static_cast<Suites*>(m->globals);
      m->globals = nullptr;
    }
    return result;
  }
  if (s == nullptr) return ai::kNoErr;
  if (std::strcmp(caller, ai::kCallerInterface) == 0 && std::strcmp(selector, ai::kSelectorShutdown) == 0) {
    delete s;
    m->globals = nullptr;
    return ai::kNoErr;
  }
  if (std::strcmp(caller, ai::kCallerMenu) == 0) {
    auto* menu = static_cast<ai::MenuMessage*>(message);
    if (std::strcmp(selector, ai::kSelectorGo) == 0) return menu_go(*s, menu->menuItem);
    if (std::strcmp(selector, ai::kSelectorUpdate) == 0) return menu_update(*s, menu->menuItem);
  }
  return ai::kNoErr;
}
