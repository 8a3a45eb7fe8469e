// Localised string tables: user-visible texts looked up by their English
// text in ".strings" tables of the user's language.
//
// Files
//   <resources>/<code>.lproj/<table>.strings, where <resources> is the folder
//   "Resources" beside the running executable (the host program) and <code>
//   a language code. Where <code>.lproj is missing, the folder of the code's
//   alias is used: en English, de German, fr French, ja Japanese, es Spanish
//   (and the other way round: "German" finds de.lproj). A table file holds
//   entries  key = value ;  in the grammar of utils/Tokenizer.h, as UTF-8 or
//   UTF-16 (LE or BE, told by a byte-order mark or by zero bytes).
//
// Lookups
//   The key is the English text itself, so a missing folder, file or entry
//   simply yields the key. Every lookup that finds no entry writes one DEBUG
//   record
//     Key missing in "<table>" table: "<key>"
//   A value has every trailing "*" removed when it is returned ("Done*" is
//   Done, "***" is empty).
//
// Caches (process-wide, never cleared, guarded by one lock)
//   - the language, computed on first use;
//   - the folder of each language code, probed once per code (an empty
//     specification records that there is none);
//   - the tables, each read on its first lookup and kept complete, partial
//     or empty: a table file is read at most once per process, so a file
//     edited, added or removed later is not seen. ustring_load and
//     ustring_load2 keep their tables apart (ustring_load2 under
//     "<code>-<table>"), as they come from different files.
//
// Failures are never thrown to the caller: a folder or file that is missing
// or cannot be opened gives an empty table silently; a malformed file writes
// one ERROR record (loadStringTable) and keeps the entries before the fault.
#pragma once

#include <functional>
#include <istream>
#include <map>

#include "utils/UFileSpecCore.h"
#include "utils/ustring.h"

// The entries of one table, ordered by byte-wise comparison of the keys.
using StringTable = std::map<ustring, ustring, std::less<>>;

// The value of key in table for current_language(), or key itself. The file
// is the one find_table_file(table + ".strings") gives on the first lookup
// of the table.
ustring ustring_load(const ustring& key, const ustring& table);

// The value of key in table for the given language code, or key itself. Only
// that language's folder is read: no fallback to other languages.
ustring ustring_load2(const ustring& key, const ustring& table, const ustring& language);

// The language code in use, one of "en", "en_US", "ja", "de", "fr", "zh_CN",
// "zh_TW", "es". Computed once per process from the OS's user locale:
// English (United States) is "en_US", other English "en", any Chinese
// "zh_CN", a language outside the list "en".
ustring current_language();

// The folder of a language's tables, empty when there is none (also for an
// empty code, or one holding a path separator, which would lead outside the
// resources folder).
UFileSpecCore language_folder(const ustring& code);

// The file to read for current_language(): file_name in that language's
// folder, else in the folder of "en", else in the resources folder itself;
// empty when none of them holds a file of that name (or the name holds a
// path separator).
UFileSpecCore find_table_file(const ustring& file_name);

// Read a table into the cache, as the first lookup does. Nothing happens
// when the table is cached already.
//   loadStringTable(table): the file find_table_file(table + ".strings");
//     a malformed file is logged at ERROR as  <table> : <parser message>
//   loadStringTable(language, table): language_folder(language) +
//     table + ".strings" only; a malformed file is logged at ERROR as
//     <language>-<table> :<parser message>
// The parser message is the one read_string_table throws.
void loadStringTable(const ustring& table);
void loadStringTable(const ustring& language, const ustring& table);

// Reads the entries of a ".strings" text into table, up to the end of the
// input where a key would start. An entry is stored as soon as its value is
// read (a later entry with the same key replaces it), before its ";" is
// demanded. Throws std::runtime_error on a malformed entry ("unexpected
// element in stream at line N") and on a stream that is not good ("invalid
// stream"); the entries read before stay in table.
void read_string_table(std::istream& input, StringTable& table);

namespace detail {

// For tests only: forgets the language, the folders and every table, so
// that the next lookup starts as in a new process. Tests that run in one
// process call it between cases; the system never does.
void reset_string_tables_for_tests();

}  // namespace detail
