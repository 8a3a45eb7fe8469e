// Random 16-byte identifiers (job identifiers) and their 36-character text.
#pragma once

#include <array>
#include <cstdint>

#include "utils/ustring.h"

using uuid_bytes = std::array<std::uint8_t, 16>;

// A new random identifier, laid out as the Windows UUID structure in memory.
uuid_bytes uuid_create();

// 8-4-4-4-12 groups of upper-case hexadecimal digits, bytes in memory order
// (so the first three groups show the structure's little-endian fields
// byte-reversed compared with the registry form).
ustring uuid_to_text(const uuid_bytes& id);

// Reads the hexadecimal digits of text (anything else is skipped), cut or
// padded with zeros to 32 digits. Inverse of uuid_to_text.
uuid_bytes uuid_from_text(const ustring& text);
