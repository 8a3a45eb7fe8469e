#include "posix/PosixUtil.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

namespace vxp::posix {

bool absolute_env(const char* name, std::string* out) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] != '/') return false;
  *out = value;
  while (out->size() > 1 && out->back() == '/') out->pop_back();
  return true;
}

bool write_all(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool wide_to_utf8(const std::wstring& w, std::string* out) {
  out->clear();
  out->reserve(w.size());
  for (std::size_t i = 0; i < w.size(); ++i) {
    auto c = static_cast<std::uint32_t>(w[i]);
    if (c == 0 || c > 0x10FFFF || (c >= 0xDC00 && c <= 0xDFFF)) return false;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= w.size()) return false;
      const auto low = static_cast<std::uint32_t>(w[i + 1]);
      if (low < 0xDC00 || low > 0xDFFF) return false;
      c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
      ++i;
    }
    if (c < 0x80) {
      out->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out->push_back(static_cast<char>(0xC0 | (c >> 6)));
      out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out->push_back(static_cast<char>(0xE0 | (c >> 12)));
      out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out->push_back(static_cast<char>(0xF0 | (c >> 18)));
      out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return true;
}

bool utf8_to_wide(std::string_view s, std::wstring* out) {
  out->clear();
  out->reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    std::uint32_t c;
    std::size_t n;
    if (b0 < 0x80) {
      c = b0, n = 1;
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
      c = b0 & 0x1Fu, n = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      c = b0 & 0x0Fu, n = 3;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      c = b0 & 0x07u, n = 4;
    } else {
      return false;
    }
    if (s.size() - i < n) return false;
    for (std::size_t k = 1; k < n; ++k) {
      const auto b = static_cast<unsigned char>(s[i + k]);
      if ((b & 0xC0) != 0x80) return false;
      c = (c << 6) | (b & 0x3Fu);
    }
    const bool overlong = (n == 3 && c < 0x800) || (n == 4 && c < 0x10000);
    if (overlong || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    if (c >= 0x10000) {
      c -= 0x10000;
      out->push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
      out->push_back(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out->push_back(static_cast<wchar_t>(c));
    }
    i += n;
  }
  return true;
}

}  // namespace vxp::posix
