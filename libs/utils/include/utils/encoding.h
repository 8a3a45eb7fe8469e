// Byte-to-text encodings: standard Base64, its URL form, and hexadecimal.
//
// Every function takes the bytes as pointer and length (null is fine with a
// length of 0) and returns a new ustring. An input whose encoding would be
// longer than ustring::max_length throws std::length_error("ustring").
#pragma once

#include <cstddef>

#include "utils/ustring.h"

// RFC 4648 Base64 ("A-Z a-z 0-9 + /"), the last group completed with "=",
// no line breaks.
ustring base64_encode(const void* data, std::size_t size);
// Base64 of the text's bytes, all of them (an embedded NUL included).
ustring base64_encode(const ustring& bytes);

// Base64 with "-" for "+", "_" for "/" and no "=" padding.
ustring base64url_encode(const void* data, std::size_t size);

// Two upper-case hexadecimal digits per byte, high nibble first.
ustring hex_encode(const void* data, std::size_t size);
