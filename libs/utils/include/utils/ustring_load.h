// Localised string tables: user-visible texts looked up by their English
// text in ".strings" tables of the user's language.
// (Placeholder: the tables are not read yet; every lookup gives the key.)
#pragma once

#include "utils/UFileSpecCore.h"
#include "utils/ustring.h"

// The value of key in table for current_language(), or key itself.
ustring ustring_load(const ustring& key, const ustring& table);

// The value of key in table for the given language code, or key itself; no
// fallback to other languages.
ustring ustring_load2(const ustring& key, const ustring& table, const ustring& language);

// The language code in use ("en", "en_US", "ja", "de", "fr", "zh_CN",
// "zh_TW" or "es").
ustring current_language();

// The folder of a language's tables, empty when there is none.
UFileSpecCore language_folder(const ustring& code);

// The file to read for current_language(), empty when none exists.
UFileSpecCore find_table_file(const ustring& file_name);

// Reads a table into the cache.
void loadStringTable(const ustring& table);
void loadStringTable(const ustring& language, const ustring& table);
