// Kanji numerals: 一 to 九 (1 to 9) and the multipliers 十 (10), 百 (100),
// 千 (1000) and 万 (10000), as in 二千三百四十五 = 2345. There is no zero.
#pragma once

#include <string>
#include <string_view>

#include "utils/ustring.h"

// Value of a kanji numeral given in UTF-16. For each multiplier, from 万 down
// to 十, its first occurrence takes the numeral before it as factor (1 when
// nothing precedes it; at most 9 for 千, 百 and 十); what follows the last
// multiplier must be nothing or a single digit. The empty text is 0.
// Throws std::out_of_range("invalid kanji number") for anything else and
// throws nothing else, whatever the input (values stay below 10^8, the
// recursion is at most a few levels deep and nothing is allocated).
int kanji_to_int(std::u16string_view text);
// Wide form; a unit above U+FFFF is never a kanji numeral.
int kanji_to_int(std::wstring_view text);

// Copy in which every run of kanji numeral characters is replaced by its
// decimal value; a run that is not a valid numeral is kept as it is. Bytes
// that are not well-formed UTF-8 are copied unchanged.
ustring convert_kanji_numbers(const ustring& text);
