// Free text utilities on ustring: whitespace trimming and tests, ASCII case
// folding of byte strings, %-escape decoding, full-width to ASCII folding and
// a line on the standard error stream.
//
// Whitespace is this set of 23 characters: U+000D, U+000A, U+0009, U+0020,
// U+2000 to U+200F, U+202F, U+205F and U+3000. The ustring functions find
// these characters directly in the UTF-8 bytes: for well-formed text the
// result is the one a walk over the UTF-16 form gives, and text that is not
// well-formed (stray bytes, an embedded NUL) is kept as it is instead of
// being cut at the first bad byte.
#pragma once

#include <string>

#include "utils/ustring.h"

// Membership in the 23-character whitespace set.
bool is_space(char16_t c);

// True for "," (U+002C) and the ideographic comma U+3001.
bool is_comma(char16_t c);

// Copy without leading and trailing whitespace; all-whitespace text gives "".
ustring trim(const ustring& text);
ustring trim(const char* text);

// Copy without leading and trailing carriage return, line feed, tab and space.
std::string trim(const std::string& text);

// True when every character is whitespace (true for an empty text).
bool is_blank(const ustring& text);

// Copy with each byte passed through the C library's tolower.
std::string to_lower(const std::string& text);

// Decodes %uXXXX (the low 8 bits of the value, as one byte) and %XX escapes;
// anything else, including an escape cut short by the end of the text or
// holding a non-hex digit, is copied unchanged. Never reads past the text.
ustring unescape(const ustring& text);

// Folds the full-width forms U+FF01 to U+FF5E to the ASCII characters "!" to
// "~"; everything else is copied unchanged.
ustring fullwidth_to_ascii(const ustring& text);

// Writes the text (all of its bytes) and a line feed to standard error.
void print(const ustring& text);
