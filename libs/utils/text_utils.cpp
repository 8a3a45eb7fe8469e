#include "utils/text_utils.h"

#include <cctype>
#include <cstdio>

namespace {

// Length of the whitespace character that starts at p, 0 when none does.
std::size_t space_at(const unsigned char* p, const unsigned char* end) {
  const unsigned char c = *p;
  if (c == 0x0D || c == 0x0A || c == 0x09 || c == 0x20) return 1;
  if (end - p < 3) return 0;
  if (c == 0xE2) {
    // U+2000-U+200F, U+202F: E2 80 80-8F, E2 80 AF. U+205F: E2 81 9F.
    if (p[1] == 0x80 && ((p[2] >= 0x80 && p[2] <= 0x8F) || p[2] == 0xAF)) return 3;
    if (p[1] == 0x81 && p[2] == 0x9F) return 3;
  } else if (c == 0xE3) {
    if (p[1] == 0x80 && p[2] == 0x80) return 3;  // U+3000
  }
  return 0;
}

// Length of the whitespace character that ends just before end, 0 when none.
std::size_t space_before(const unsigned char* begin, const unsigned char* end) {
  const unsigned char c = end[-1];
  if (c == 0x0D || c == 0x0A || c == 0x09 || c == 0x20) return 1;
  if (end - begin >= 3 && space_at(end - 3, end) == 3) return 3;
  return 0;
}

const unsigned char* bytes(const ustring& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Value of n hex digits at p, or -1 when one of them is not a hex digit.
int hex_run(const char* p, int n) {
  int v = 0;
  for (int i = 0; i < n; ++i) {
    const int d = hex_value(p[i]);
    if (d < 0) return -1;
    v = v * 16 + d;
  }
  return v;
}

}  // namespace

bool is_space(char16_t c) {
  return c == 0x0D || c == 0x0A || c == 0x09 || c == 0x20 || (c >= 0x2000 && c <= 0x200F) || c == 0x202F ||
         c == 0x205F || c == 0x3000;
}

bool is_comma(char16_t c) { return c == u',' || c == 0x3001; }

ustring trim(const ustring& text) {
  const unsigned char* const base = bytes(text);
  const unsigned char* first = base;
  const unsigned char* last = base + text.size();
  while (first != last) {
    const std::size_t n = space_at(first, last);
    if (n == 0) break;
    first += n;
  }
  while (first != last) {
    const std::size_t n = space_before(first, last);
    if (n == 0) break;
    last -= n;
  }
  return ustring(text.data() + (first - base), static_cast<ustring::size_type>(last - first));
}

ustring trim(const char* text) { return trim(ustring(text)); }

std::string trim(const std::string& text) {
  static constexpr const char* kSpaces = "\r\n\t ";
  const std::size_t first = text.find_first_not_of(kSpaces);
  if (first == std::string::npos) return std::string();
  const std::size_t last = text.find_last_not_of(kSpaces);
  return text.substr(first, last - first + 1);
}

bool is_blank(const ustring& text) {
  const unsigned char* p = bytes(text);
  const unsigned char* const end = p + text.size();
  while (p != end) {
    const std::size_t n = space_at(p, end);
    if (n == 0) return false;
    p += n;
  }
  return true;
}

std::string to_lower(const std::string& text) {
  std::string out(text);
  // tolower takes the byte as unsigned char: a negative char is undefined.
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

ustring unescape(const ustring& text) {
  const char* const s = text.data();
  const std::size_t n = text.size();
  ustring out;
  out.reserve(n);
  std::size_t i = 0;
  while (i < n) {
    const char c = s[i];
    if (c == '%') {
      const std::size_t after = n - i - 1;  // bytes after the "%"
      if (after >= 5 && (s[i + 1] == 'u' || s[i + 1] == 'U')) {
        const int v = hex_run(s + i + 2, 4);
        if (v >= 0) {
          out.push_back(static_cast<char>(v & 0xFF));
          i += 6;
          continue;
        }
      }
      if (after >= 2 && s[i + 1] != ' ') {
        const int v = hex_run(s + i + 1, 2);
        if (v >= 0) {
          out.push_back(static_cast<char>(v));
          i += 3;
          continue;
        }
      }
    }
    out.push_back(c);
    ++i;
  }
  return out;
}

ustring fullwidth_to_ascii(const ustring& text) {
  // U+FF01-U+FF3F are EF BC 81-BF, U+FF40-U+FF5E are EF BD 80-9E in UTF-8.
  const unsigned char* const s = bytes(text);
  const std::size_t n = text.size();
  ustring out;
  out.reserve(n);
  std::size_t i = 0;
  while (i < n) {
    if (s[i] == 0xEF && n - i >= 3) {
      const unsigned char b = s[i + 1], c = s[i + 2];
      if (b == 0xBC && c >= 0x81 && c <= 0xBF) {
        out.push_back(static_cast<char>(c - 0x60));
        i += 3;
        continue;
      }
      if (b == 0xBD && c >= 0x80 && c <= 0x9E) {
        out.push_back(static_cast<char>(c - 0x20));
        i += 3;
        continue;
      }
    }
    out.push_back(static_cast<char>(s[i]));
    ++i;
  }
  return out;
}

void print(const ustring& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fputc('\n', stderr);
}
