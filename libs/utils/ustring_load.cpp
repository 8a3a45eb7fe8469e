#include "utils/ustring_load.h"

#include <exception>
#include <fstream>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include "platform/Process.h"
#include "utils/Logger.h"
#include "utils/Tokenizer.h"

namespace {

// The file as the Windows build's compiler spells it, so lines read the same
// on every OS.
constexpr const char* kSourceFile = "..\\..\\libs\\utils\\ustring_load.cpp";

constexpr std::string_view kSupportedLanguages[] = {"en", "en_US", "ja", "de", "fr", "zh_CN", "zh_TW", "es"};

// Alternative folder names, searched in this order in both directions.
struct FolderAlias {
  std::string_view code;
  std::string_view folder;
};
constexpr FolderAlias kFolderAliases[] = {
    {"en", "English"}, {"de", "German"}, {"fr", "French"}, {"ja", "Japanese"}, {"es", "Spanish"},
};

constexpr std::string_view kFolderSuffix = ".lproj";
constexpr std::string_view kTableSuffix = ".strings";

struct Caches {
  std::mutex lock;
  bool language_known = false;
  ustring language;
  std::map<ustring, UFileSpecCore, std::less<>> folders;
  // ustring_load's tables, by table name.
  std::map<ustring, StringTable, std::less<>> tables;
  // ustring_load2's tables, by "<code>-<table>".
  std::map<ustring, StringTable, std::less<>> language_tables;
};

// Never destroyed, so that texts can still be looked up while the process
// ends (from static destructors).
Caches& caches() {
  static Caches* const instance = new Caches;
  return *instance;
}

// A single path component: anything else could lead outside the resources
// folder.
bool is_plain_name(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string_view::npos;
}

// folder + name, or empty.
UFileSpecCore child(const UFileSpecCore& folder, const ustring& name) {
  if (folder.empty()) return UFileSpecCore();
  UFileSpecCore spec(folder);
  if (!spec.append(name)) return UFileSpecCore();
  return spec;
}

// "Resources" beside the running executable; empty when the OS cannot name
// the executable.
UFileSpecCore resources_folder() {
  return child(UFileSpecCore(UFileSpecCore::eSpecialFolder_ApplicationFolder), "Resources");
}

ustring language_from_locale() {
  const vxp::UserLocale locale = vxp::ProcessService::Default().user_locale();
  std::string code = locale.language;
  if (code == "en" && locale.sublanguage == 1) {
    code = "en_US";
  } else if (code == "zh") {
    code = "zh_CN";  // every Chinese locale reads the simplified tables
  }
  for (std::string_view supported : kSupportedLanguages) {
    if (code == supported) return ustring(code);
  }
  return "en";
}

// The callers below hold caches().lock.

const ustring& current_language_locked(Caches& c) {
  if (!c.language_known) {
    c.language = language_from_locale();
    c.language_known = true;
  }
  return c.language;
}

UFileSpecCore probe_language_folder(const ustring& code) {
  if (!is_plain_name(code)) return UFileSpecCore();
  const UFileSpecCore resources = resources_folder();
  UFileSpecCore candidate = child(resources, code + ustring(kFolderSuffix));
  if (candidate.is_directory()) return candidate;
  for (const FolderAlias& alias : kFolderAliases) {
    std::string_view other;
    if (code == alias.code) {
      other = alias.folder;
    } else if (code == alias.folder) {
      other = alias.code;
    } else {
      continue;
    }
    candidate = child(resources, ustring(other) + ustring(kFolderSuffix));
    if (candidate.is_directory()) return candidate;
    break;
  }
  return UFileSpecCore();
}

const UFileSpecCore& language_folder_locked(Caches& c, const ustring& code) {
  auto it = c.folders.find(code);
  if (it == c.folders.end()) it = c.folders.emplace(code, probe_language_folder(code)).first;
  return it->second;
}

UFileSpecCore find_table_file_locked(Caches& c, const ustring& file_name) {
  if (!is_plain_name(file_name)) return UFileSpecCore();
  const ustring language = current_language_locked(c);
  for (const UFileSpecCore* folder :
       {&language_folder_locked(c, language), &language_folder_locked(c, "en")}) {
    UFileSpecCore file = child(*folder, file_name);
    if (file.is_file()) return file;
  }
  UFileSpecCore file = child(resources_folder(), file_name);
  if (file.is_file()) return file;
  return UFileSpecCore();
}

// Reads file into table. A file that is missing or cannot be opened leaves
// the table empty and is no error; for a malformed file the parser's
// message is returned in *error, with the entries before the fault kept.
bool read_table_file(const UFileSpecCore& file, StringTable& table, std::string* error) {
  if (file.empty()) return true;
  std::ifstream input = file.open_input(std::ios::in | std::ios::binary);
  if (!input.is_open()) return true;
  try {
    read_string_table(input, table);
  } catch (const std::exception& e) {
    *error = e.what();
    return false;
  }
  return true;
}

ustring without_trailing_stars(const ustring& value) {
  const auto last = value.find_last_not_of('*');
  if (last == ustring::npos) return ustring();
  return ustring(value, 0, last + 1);
}

// The value of key in table, or key itself with a DEBUG record.
ustring lookup(const StringTable& entries, const ustring& key, const ustring& table, const char* function) {
  const auto it = entries.find(key);
  if (it != entries.end()) return without_trailing_stars(it->second);
  VX_LOG(vxu::eLogLevel_Debug, (vxu::LogSite{kSourceFile, __LINE__, function}))
      << "Key missing in \"" << table << "\" table: \"" << key << "\"";
  return key;
}

StringTable& load_table_locked(Caches& c, const ustring& table) {
  auto it = c.tables.find(table);
  if (it != c.tables.end()) return it->second;
  StringTable entries;
  std::string error;
  if (!read_table_file(find_table_file_locked(c, table + ustring(kTableSuffix)), entries, &error)) {
    VX_LOG(vxu::eLogLevel_Error, (vxu::LogSite{kSourceFile, __LINE__, "loadStringTable"}))
        << table << " : " << error;
  }
  return c.tables.emplace(table, std::move(entries)).first->second;
}

StringTable& load_language_table_locked(Caches& c, const ustring& language, const ustring& table) {
  const ustring cache_key = language + "-" + table;
  auto it = c.language_tables.find(cache_key);
  if (it != c.language_tables.end()) return it->second;
  StringTable entries;
  std::string error;
  const UFileSpecCore file = is_plain_name(table)
                                 ? child(language_folder_locked(c, language), table + ustring(kTableSuffix))
                                 : UFileSpecCore();
  if (!read_table_file(file, entries, &error)) {
    VX_LOG(vxu::eLogLevel_Error, (vxu::LogSite{kSourceFile, __LINE__, "loadStringTable"}))
        << cache_key << " :" << error;
  }
  return c.language_tables.emplace(cache_key, std::move(entries)).first->second;
}

}  // namespace

ustring ustring_load(const ustring& key, const ustring& table) {
  Caches& c = caches();
  std::lock_guard<std::mutex> guard(c.lock);
  return lookup(load_table_locked(c, table), key, table, "ustring_load");
}

ustring ustring_load2(const ustring& key, const ustring& table, const ustring& language) {
  Caches& c = caches();
  std::lock_guard<std::mutex> guard(c.lock);
  return lookup(load_language_table_locked(c, language, table), key, table, "ustring_load2");
}

ustring current_language() {
  Caches& c = caches();
  std::lock_guard<std::mutex> guard(c.lock);
  return current_language_locked(c);
}

UFileSpecCore language_folder(const ustring& code) {
  Caches& c = caches();
  std::lock_guard<std::mutex> guard(c.lock);
  return language_folder_locked(c, code);
}

UFileSpecCore find_table_file(const ustring& file_name) {
  Caches& c = caches();
  std::lock_guard<std::mutex> guard(c.lock);
  return find_table_file_locked(c, file_name);
}

void loadStringTable(const ustring& table) {
  Caches& c = caches();
  std::lock_guard<std::mutex> guard(c.lock);
  load_table_locked(c, table);
}

void loadStringTable(const ustring& language, const ustring& table) {
  Caches& c = caches();
  std::lock_guard<std::mutex> guard(c.lock);
  load_language_table_locked(c, language, table);
}

void read_string_table(std::istream& input, StringTable& table) {
  Tokenizer tokenizer(input);
  Tokenizer::Token token;
  while (tokenizer.get_token(token)) {
    if (token.kind != eStringFileToken_String) tokenizer.raise_error();
    ustring key = std::move(token.text);
    tokenizer.expect(token, eStringFileToken_Equals);
    tokenizer.expect(token, eStringFileToken_String);
    table.insert_or_assign(std::move(key), std::move(token.text));
    tokenizer.expect(token, eStringFileToken_Semicolon);
  }
}

namespace detail {

void reset_string_tables_for_tests() {
  Caches& c = caches();
  std::lock_guard<std::mutex> guard(c.lock);
  c.language_known = false;
  c.language.clear();
  c.folders.clear();
  c.tables.clear();
  c.language_tables.clear();
}

}  // namespace detail
