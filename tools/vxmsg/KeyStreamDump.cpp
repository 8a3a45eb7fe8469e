#include "KeyStreamDump.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "utils/Logger.h"
#include "utils/UKeyStream.h"
#include "utils/umessage.h"

namespace {

// Longest user/binary data shown in hex before it is cut.
constexpr std::size_t kMaxHexBytes = 256;

const char* type_name(std::uint8_t type) {
  switch (type) {
    case UKeyStream::eFieldType_Bool: return "bool";
    case UKeyStream::eFieldType_Int: return "int";
    case UKeyStream::eFieldType_UnsInt: return "uns int";
    case UKeyStream::eFieldType_Float: return "float";
    case UKeyStream::eFieldType_String: return "string";
    case UKeyStream::eFieldType_Record: return "record";
    case UKeyStream::eFieldType_Array: return "array";
    case UKeyStream::eFieldType_Binary: return "user/binary";
    default: return "type?";
  }
}

std::string key_text(std::uint16_t key) {
  const int hi = key >> 8;
  const int lo = key & 0xFF;
  if (hi > 0x20 && hi < 0x7F && lo > 0x20 && lo < 0x7F) return {static_cast<char>(hi), static_cast<char>(lo)};
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", key);
  return text;
}

std::string hex_of(const std::string& bytes, std::size_t limit) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  const std::size_t n = std::min(bytes.size(), limit);
  for (std::size_t i = 0; i < n; ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  if (n < bytes.size()) out += "...";
  return out;
}

std::string json_string(const std::string& bytes) {
  umessage holder;
  holder.add("s", ustring(bytes));
  std::ostringstream text;
  holder.write(text);
  // {"s":"..."} -> "..."
  const std::string all = text.str();
  return all.size() >= 6 ? all.substr(5, all.size() - 6) : all;
}

// The record held by a user/binary field, when the bytes are a flat form
// that decodes; the reader's complaint is kept off the log. The copies of
// its strings are charged to the dump's one budget.
bool flat_form_record(const std::string& bytes, umessage& record, vxu::flat_string_budget& budget) {
  if (bytes.empty()) return false;
  const std::uint32_t mask = vxu::system_logger.mask();
  vxu::system_logger.set_mask(0);
  std::istringstream in(bytes);
  const bool ok = record.unflatten(in, budget);
  vxu::system_logger.set_mask(mask);
  return ok;
}

class Dumper {
 public:
  Dumper(UKeyInStream& in, std::ostream& out) : in_(in), out_(out) {}

  void record(int indent) {
    for (int item = 1; in_.next_item(); ++item) {
      if (item > 1) line(indent) << "-- item " << item << '\n';
      const std::size_t n = in_.item_size();
      for (std::size_t i = 0; i < n; ++i) {
        const UKeyInStream::FieldInfo info = in_.item_field(i);
        in_.select(info.key);
        field(indent, key_text(info.key), info, true);
      }
    }
  }

 private:
  void array(int indent) {
    UKeyInStream::FieldInfo info;
    for (int index = 0; in_.field_info(info); ++index) {
      // Appended piece by piece: GCC 12 warns falsely about "[" + string.
      std::string label(1, '[');
      label += std::to_string(index);
      label += ']';
      field(indent, label, info, false);
    }
  }

  // Writes one field (the current one of a record, or the next element of an
  // array) and consumes it.
  void field(int indent, const std::string& label, const UKeyInStream::FieldInfo& info, bool keyed) {
    std::ostream& o = line(indent) << label << ' ' << type_name(info.type) << ' ' << info.length;
    switch (info.type) {
      case UKeyStream::eFieldType_Record:
      case UKeyStream::eFieldType_Array:
        if (!keyed) {
          std::string skipped;
          in_ >> skipped;
          o << " (a container inside an array cannot be read)\n";
          return;
        }
        o << '\n';
        container(indent, info);
        return;
      case UKeyStream::eFieldType_Bool: {
        bool v = false;
        in_ >> v;
        o << (v ? " true" : " false") << '\n';
        return;
      }
      default:
        break;
    }
    std::string data;
    in_ >> data;
    switch (info.type) {
      case UKeyStream::eFieldType_Int:
      case UKeyStream::eFieldType_UnsInt:
        if (data.size() <= 4) {
          std::uint32_t v = 0;
          for (unsigned char b : data) v = (v << 8) | b;
          if (info.type == UKeyStream::eFieldType_Int) {
            o << ' ' << static_cast<std::int32_t>(v);
          } else {
            o << ' ' << v;
          }
          if (!data.empty()) o << " (" << hex_of(data, 4) << ')';
        } else {
          o << " (too long for an integer) " << hex_of(data, kMaxHexBytes);
        }
        break;
      case UKeyStream::eFieldType_Float:
        if (data.size() <= 8) {
          // The data are the double's low-order bytes, leading zero bytes
          // dropped (0.0 has none), as the reader takes them.
          std::uint64_t bits = 0;
          for (unsigned char b : data) bits = (bits << 8) | b;
          char text[32];
          const auto r = std::to_chars(text, text + sizeof text, std::bit_cast<double>(bits));
          o << ' ' << std::string(text, r.ptr);
        } else {
          o << " (too long for a double) " << hex_of(data, kMaxHexBytes);
        }
        break;
      case UKeyStream::eFieldType_String:
        o << ' ' << json_string(data);
        break;
      default: {
        umessage record;
        if (info.type == UKeyStream::eFieldType_Binary && flat_form_record(data, record, budget_)) {
          o << ' ';
          record.write(o);  // straight to the output: a record's JSON can be large
        } else if (!data.empty()) {
          o << ' ' << hex_of(data, kMaxHexBytes);
        }
        break;
      }
    }
    o << '\n';
  }

  void container(int indent, const UKeyInStream::FieldInfo& info) {
    const int depth = in_.depth();
    try {
      if (info.type == UKeyStream::eFieldType_Record) {
        in_.enter_record(info.key);
        record(indent + 1);
      } else {
        in_.enter_array(info.key);
        array(indent + 1);
      }
      in_.leave();
    } catch (const std::runtime_error& e) {
      // Back out of every level entered below this field, so the walk goes
      // on after it: left inside, it would take the rest of an array for
      // endless empty items.
      while (in_.depth() > depth) in_.leave();
      line(indent + 1) << "(" << e.what() << ")\n";
    }
  }

  std::ostream& line(int indent) {
    for (int i = 0; i < indent; ++i) out_ << "  ";
    return out_;
  }

  UKeyInStream& in_;
  std::ostream& out_;
  // One for the whole dump: a stream of many fields that each expand
  // within a budget of their own would expand without bound together.
  vxu::flat_string_budget budget_;
};

}  // namespace

void dump_key_stream(std::istream& in, std::ostream& out) {
  UKeyInStream reader(in);
  out << "KS record code " << reader.code() << '\n';
  Dumper(reader, out).record(1);
}
