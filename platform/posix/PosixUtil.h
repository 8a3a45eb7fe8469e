// Small helpers the POSIX services share.
#pragma once

#include <string>
#include <string_view>

namespace vxp::posix {

// An absolute directory from the environment, without trailing slashes.
// False when the variable is unset or not absolute.
bool absolute_env(const char* name, std::string* out);

// Writes every byte to the descriptor, going on after interruptions and
// short writes. False at the first failure (errno tells why).
bool write_all(int fd, const std::string& bytes);

// UTF-16 code units (held in wchar_t) to UTF-8. False at an unpaired
// surrogate, a value above U+10FFFF or an embedded NUL, which no kernel path
// can carry. A 32-bit wchar_t holding a whole code point is accepted too.
bool wide_to_utf8(const std::wstring& w, std::string* out);

// Strict UTF-8 to UTF-16 code units. False at any ill-formed sequence.
bool utf8_to_wide(std::string_view s, std::wstring* out);

}  // namespace vxp::posix
