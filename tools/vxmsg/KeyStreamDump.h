// Renders a key stream as an indented tree, one field per line, for people
// reading a payload captured at a customer's site.
#pragma once

#include <iosfwd>

// Writes the tree of the key stream read from `in` to `out`:
//
//   KS record code <code>
//     <key> <type> <length> <value>
//     <key> record <length>
//       ... children ...
//     -- item 2                     (a record's second and later items)
//
// A key is shown as its two characters when both are printable ASCII, else as
// 0xHHHH. Values: bools true/false; integers in decimal with their data bytes
// in hex; doubles in their shortest exact form; strings as JSON string
// literals (all bytes, whatever the code field says); user/binary data as the
// JSON text of the record it holds when it is a valid flat form, else as hex.
// The flat forms of one dump share one budget of string copies
// (utils/umessage_serialize.h): past it, a field's form is shown as hex.
// Throws std::runtime_error when the input is not a key stream.
void dump_key_stream(std::istream& in, std::ostream& out);
