// Reading the Base64 text that requests carry in "v".
//
// The plug-in writes standard Base64 (RFC 4648: "A-Z a-z 0-9 + /", the last
// group completed with "=", no line breaks; utils/encoding.h). The simulated
// Veloxa reads it strictly, so that a request it accepts is byte for byte
// what base64_encode gives for the decoded bytes:
//
//   text  := group* [last]            (length a multiple of 4)
//   group := c c c c
//   last  := c c "=" "="  |  c c c "="
//
// where the bits a padded group leaves unused must be zero.
#pragma once

#include <string>
#include <string_view>

// Decodes text into *bytes. False for anything else than the grammar above
// (a character outside the alphabet, white space, a misplaced or missing "=",
// a length that is not a multiple of 4, unused bits that are set); *bytes is
// then unchanged. Reads nothing outside text.
bool base64_decode(std::string_view text, std::string* bytes);
