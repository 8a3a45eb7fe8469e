#include "utils/ustring_load.h"

ustring ustring_load(const ustring& key, const ustring&) { return key; }
ustring ustring_load2(const ustring& key, const ustring&, const ustring&) { return key; }
ustring current_language() { return "en"; }
UFileSpecCore language_folder(const ustring&) { return UFileSpecCore(); }
UFileSpecCore find_table_file(const ustring&) { return UFileSpecCore(); }
void loadStringTable(const ustring&) {}
void loadStringTable(const ustring&, const ustring&) {}
