// The flat form: the compact binary layout of a umessage, written by
// umessage::flatten and read by umessage::unflatten.
//
// Layout (versions 1 to 4; the writer always produces version 4):
//
//   flat      := version: packed32, count: packed64, string[count], body
//   string    := length: packed64, bytes: uint8[length]      (UTF-8, no NUL)
//   body      := [version 1: kind: id], entries: packed64, entry[entries]
//   entry     := name: id, type, [version 4: is_array: uint8],
//                count: packed64, value[count]
//   type      := versions 3, 4: code: packed32      1 int, 2 bool, 3 double,
//                                                   4 string, 5 message, 6 int64
//                versions 1, 2: type_name: id       "int", "bool", "float",
//                                                   "string", "umessage"
//   value     := int:     packed32                  (two's complement)
//                bool:    uint8                     (0 or 1; read: not 0)
//                double:  uint8[8]                  (IEEE 754, little-endian)
//                string:  id
//                message: body                      (same version, nested)
//                int64:   packed64                  (two's complement)
//   id        := packed64                           1-based index into the
//                                                   string table; 0 is never
//                                                   written
//
// packed32 / packed64: see utils/packed_int.h. Everything else multi-byte is
// big-endian except doubles.
//
// The string table holds every entry name and every string value of the
// record and of all nested records, each distinct byte string once, sorted
// ascending by byte order. Entries appear in the record's name order. The
// form has no length and no end marker of its own: the container that carries
// it delimits it.
//
// Reading, in the order a reader meets them:
// - version 0, above 4, or missing: unflatten is false, nothing is logged.
// - entries above max_flat_entries in any body: "umessage::unflatten() : too
//   many entry"; a type code outside 1..6 or an unknown type name (checked
//   once the value count is read): "unknown type!"; an id of 0 or past the
//   table: "string not found"; appends the record refuses ("empty or invalid
//   name", "incompatible type"). A name met again with the same type
//   appends its values to the entry; a count of 0 creates no entry; a set
//   is_array byte with one value keeps the entry an array.
// - Bounds of this reader (all flat input is untrusted): bodies nested deeper
//   than max_flat_nesting ("umessage::unflatten() : nesting too deep"); a
//   count or length promising more bytes than the input still holds, or input
//   ending inside a value ("umessage::unflatten() : truncated input"); a
//   string longer than a ustring can hold ("umessage::unflatten() : string
//   too long"); string values and names whose copies add up to more than the
//   read's budget allows ("umessage::unflatten() : too much string data":
//   ids are short, strings are not, so without a bound a few kilobytes could
//   ask for terabytes of copies). The budget (flat_string_budget below) is
//   relative to the input with a small floor, and one budget may be shared
//   by every form of one read, so that k forms cannot ask for k floors.
// Each of these is logged as an ERROR record naming umessage::unflatten, and
// unflatten returns false with the record empty.
//
// Input: unflatten reads what remains of its stream into memory first (the
// form carries no length, so the stream is taken to hold one form), then
// parses those bytes with every count checked against what remains. The
// buffer grows with the bytes actually delivered, never with a size a stream
// announces (a seekable stream's size only sizes the first read, at most
// 1 MiB); a stream that never ends is read until memory runs out, which
// fails like any other error. The stream is left at its end with eofbit set.
//
// Writing: flatten walks the record once and needs no more stack than the
// record's nesting; a record nested deeper than max_flat_nesting is written
// but will not be read back.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vxu {

// The version flatten writes and the highest one unflatten reads.
inline constexpr std::uint32_t flat_version = 4;

// Most entries one body may announce.
inline constexpr std::uint64_t max_flat_entries = 0x20000;

// Most records nested below the top one: a record inside 256 records is
// read, one inside 257 is refused.
inline constexpr int max_flat_nesting = 256;

// Bytes of string copies a read may make: the floor, plus the ratio for
// every byte of flat form the read takes in.
inline constexpr std::uint64_t min_flat_string_budget = std::uint64_t{4} << 20;
inline constexpr std::uint64_t flat_string_expansion_ratio = 16;

// The string copies one read may still make. A reader that decodes several
// flat forms out of one input (a job payload's "Dp" and "SR", every field a
// dump shows) passes one budget to all of them: it starts at the floor and
// grows by the ratio with each form's size, so the copies of the whole read
// stay within floor + ratio x input however the input is split.
class flat_string_budget {
 public:
  flat_string_budget() = default;

  // A form of `bytes` bytes joins the read.
  void add_input(std::uint64_t bytes) {
    const std::uint64_t room = UINT64_MAX - remaining_;
    remaining_ += bytes > room / flat_string_expansion_ratio ? room : bytes * flat_string_expansion_ratio;
  }
  // Takes `bytes` from the budget; false (taking nothing) when they are not
  // left.
  bool take(std::uint64_t bytes) {
    if (bytes > remaining_) return false;
    remaining_ -= bytes;
    return true;
  }
  std::uint64_t remaining() const { return remaining_; }

 private:
  std::uint64_t remaining_ = min_flat_string_budget;
};

}  // namespace vxu
