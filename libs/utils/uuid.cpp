#include "utils/uuid.h"

#include "platform/Platform.h"

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

uuid_bytes uuid_create() {
  uuid_bytes id{};
  vxp::Platform::Default().create_uuid(id.data());
  return id;
}

ustring uuid_to_text(const uuid_bytes& id) {
  static const char kDigits[] = "0123456789ABCDEF";
  char text[36];
  int out = 0;
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text[out++] = '-';
    text[out++] = kDigits[id[i] >> 4];
    text[out++] = kDigits[id[i] & 0x0F];
  }
  return ustring(text, sizeof text);
}

uuid_bytes uuid_from_text(const ustring& text) {
  uuid_bytes id{};
  int digits = 0;
  for (char c : text) {
    const int v = hex_value(c);
    if (v < 0) continue;
    if (digits == 32) break;
    id[digits / 2] = static_cast<std::uint8_t>(id[digits / 2] | (digits % 2 == 0 ? v << 4 : v));
    ++digits;
  }
  return id;
}
