// The flat form of a umessage: flatten and unflatten. The layout, its
// limits and its failure texts are described in utils/umessage_serialize.h.
#include "utils/umessage_serialize.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <ios>
#include <istream>
#include <map>
#include <memory>
#include <numeric>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "utils/Logger.h"
#include "utils/USmallVector.h"
#include "utils/packed_int.h"
#include "utils/umessage.h"

namespace {

using umessage_details::dyn_array_impl;
using shared_record = std::shared_ptr<umessage>;

// ---- writing ----

// Little-endian loads: one plain load on a little-endian machine.
std::uint64_t load_le64(const char* p) {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint64_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
  } else {
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value |= std::uint64_t{static_cast<unsigned char>(p[i])} << (8 * i);
    return value;
  }
}
std::uint64_t load_le32(const char* p) {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint32_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
  } else {
    std::uint64_t value = 0;
    for (int i = 0; i < 4; ++i) value |= std::uint64_t{static_cast<unsigned char>(p[i])} << (8 * i);
    return value;
  }
}

std::uint64_t mix(std::uint64_t h, std::uint64_t word) {
  h = (h ^ word) * 0xBF58476D1CE4E5B9u;
  return h ^ (h >> 29);
}

// What the interning table knows of a text without reading it again: its
// first 16 bytes, zero-padded (the whole text for most names and values),
// and a hash of all of it.
struct string_key {
  std::uint64_t head0 = 0;
  std::uint64_t head1 = 0;
  std::uint64_t hash = 0;
};

string_key key_of(std::string_view text) {
  const char* p = text.data();
  const std::size_t n = text.size();
  string_key key;
  if (n >= 16) {
    key.head0 = load_le64(p);
    key.head1 = load_le64(p + 8);
  } else if (n >= 8) {
    key.head0 = load_le64(p);
    // Bytes 8..n-1: the top of the word ending at the last byte.
    if (n > 8) key.head1 = load_le64(p + n - 8) >> (8 * (16 - n));
  } else if (n >= 4) {
    key.head0 = load_le32(p) | ((load_le32(p + n - 4) >> (8 * (8 - n))) << 32);
  } else {
    for (std::size_t i = 0; i < n; ++i) key.head0 |= std::uint64_t{static_cast<unsigned char>(p[i])} << (8 * i);
  }
  std::uint64_t h = mix(mix(n * 0x9E3779B97F4A7C15u, key.head0), key.head1);
  if (n > 16) {
    // The rest in four independent lanes, so that long texts (a Base64
    // payload) do not wait on one multiply after another.
    std::uint64_t lanes[4] = {h, h ^ 0x243F6A8885A308D3u, h ^ 0x13198A2E03707344u, h ^ 0xA4093822299F31D0u};
    std::size_t i = 16;
    for (; i + 32 <= n; i += 32) {
      for (int k = 0; k < 4; ++k) lanes[k] = mix(lanes[k], load_le64(p + i + 8 * k));
    }
    for (int k = 0; i + 8 <= n; i += 8, ++k) lanes[k] = mix(lanes[k], load_le64(p + i));
    if (i < n) lanes[3] = mix(lanes[3], load_le64(p + n - 8));
    h = mix(mix(mix(lanes[0], lanes[1]), lanes[2]), lanes[3]);
  }
  // Multiplies carry information only upward: fold the high bits down
  // before the low bits pick a slot.
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDu;
  key.hash = h ^ (h >> 33);
  return key;
}

// A little-endian word read back as big-endian: byte order of the text
// becomes numeric order.
std::uint64_t reversed_bytes(std::uint64_t v) {
  std::uint64_t r = 0;
  for (int i = 0; i < 8; ++i) r |= ((v >> (8 * i)) & 0xFF) << (56 - 8 * i);
  return r;
}

// Bytes on their way to a stream, handed over 16 KiB at a time.
class chunk_writer {
 public:
  explicit chunk_writer(std::ostream& out) : out_(out) {}
  chunk_writer(const chunk_writer&) = delete;
  chunk_writer& operator=(const chunk_writer&) = delete;
  ~chunk_writer() { flush(); }

  void put_packed(std::uint64_t value) {
    if (capacity - used_ < vxu::packed64_max_size) flush();
    if (value < 0x80) {  // most counts, ids, type codes and small values
      buffer_[used_++] = static_cast<unsigned char>(value);
      return;
    }
    used_ = static_cast<std::size_t>(vxu::put_packed64(buffer_ + used_, value) - buffer_);
  }
  void put_byte(unsigned char value) {
    if (used_ == capacity) flush();
    buffer_[used_++] = value;
  }
  // IEEE 754 bits, least significant byte first whatever the machine's order.
  void put_double(double value) {
    if (capacity - used_ < 8) flush();
    const auto bits = std::bit_cast<std::uint64_t>(value);
    for (int i = 0; i < 8; ++i) buffer_[used_ + i] = static_cast<unsigned char>(bits >> (8 * i));
    used_ += 8;
  }
  void put_bytes(const unsigned char* bytes, std::size_t n) {
    if (n <= capacity - used_) {
      // Most runs are a few bytes: a plain loop beats a library call.
      if (n <= 16) {
        for (std::size_t i = 0; i < n; ++i) buffer_[used_ + i] = bytes[i];
      } else {
        std::memcpy(buffer_ + used_, bytes, n);
      }
      used_ += n;
      return;
    }
    flush();
    if (n <= capacity) {
      std::memcpy(buffer_, bytes, n);
      used_ = n;
    } else {
      out_.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(n));
    }
  }

 private:
  static constexpr std::size_t capacity = 16384;

  void flush() {
    if (used_ > 0) out_.write(reinterpret_cast<const char*>(buffer_), static_cast<std::streamsize>(used_));
    used_ = 0;
  }

  std::ostream& out_;
  std::size_t used_ = 0;
  unsigned char buffer_[capacity];
};

template <class T>
const umessage_details::value_vector<T>& values_of(const umessage::array_type& array) {
  return static_cast<const dyn_array_impl<T>&>(array).values;
}

// Writes one record as version 4 in two walks. The first meets every name
// and string value in body order, finds the distinct ones with a hash table
// and notes which distinct string each use is; the distinct strings are
// then sorted once to number the table. The second walk writes the table
// and the body straight to the output, taking the ids from the notes in the
// same order. Small records need no heap block of the writer's own.
class flat_writer {
 public:
  explicit flat_writer(const umessage& root) : root_(root) {
    slots_.assign(slots_.inline_capacity, 0);
    collect(root);
    number_strings();
  }

  void write_to(std::ostream& out) {
    chunk_writer chunk(out);
    chunk.put_packed(vxu::flat_version);
    chunk.put_packed(sorted_.size());
    for (std::uint32_t index : sorted_) {
      const std::string_view text = distinct_[index].text;
      chunk.put_packed(text.size());
      chunk.put_bytes(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    }
    next_use_ = 0;
    write_body(chunk, root_);
  }

 private:
  struct distinct_string {
    std::string_view text;
    string_key key;
  };

  void collect(const umessage& record) {
    for (const auto& [name, array] : record) {
      note(name.view());
      if (const auto* texts = array.as<ustring>()) {
        for (const ustring& value : texts->values) note(value.view());
      } else if (const auto* records = array.as<shared_record>()) {
        for (const shared_record& value : records->values) collect(*value);
      }
    }
  }
  void note(std::string_view text) { uses_.push_back(intern(text)); }
  // The id of the next string use of the second walk.
  std::uint64_t next_id() { return id_[uses_[next_use_++]]; }

  void write_body(chunk_writer& out, const umessage& record) {
    out.put_packed(record.size());
    for (const auto& field : record) {
      // A plain reference, not a structured binding: the lambda below
      // captures it, which clang accepts for bindings only from version 16.
      const auto& array = field.array;
      out.put_packed(next_id());
      const int type = array.code();
      out.put_packed(static_cast<std::uint32_t>(type));
      out.put_byte(array.is_array ? 1 : 0);
      // The value count, then each value as put writes it.
      auto put_values = [&]<class T>(std::type_identity<T>, auto put) {
        const auto& values = values_of<T>(array);
        out.put_packed(values.size());
        for (const T& value : values) put(value);
      };
      switch (type) {
        case umessage::type_int:
          put_values(std::type_identity<std::int32_t>(),
                     [&](std::int32_t value) { out.put_packed(static_cast<std::uint32_t>(value)); });
          break;
        case umessage::type_bool:
          put_values(std::type_identity<bool>(), [&](bool value) { out.put_byte(value ? 1 : 0); });
          break;
        case umessage::type_double:
          put_values(std::type_identity<double>(), [&](double value) { out.put_double(value); });
          break;
        case umessage::type_string:
          put_values(std::type_identity<ustring>(), [&](const ustring&) { out.put_packed(next_id()); });
          break;
        case umessage::type_message:
          put_values(std::type_identity<shared_record>(), [&](const shared_record& value) { write_body(out, *value); });
          break;
        case umessage::type_int64:
          put_values(std::type_identity<std::int64_t>(),
                     [&](std::int64_t value) { out.put_packed(static_cast<std::uint64_t>(value)); });
          break;
        default:
          out.put_packed(0);  // a record never stores another type
          break;
      }
    }
  }

  // The index of text among the distinct strings, added when new. Linear
  // probing in a table kept at most half full.
  std::uint32_t intern(std::string_view text) {
    if (2 * (distinct_.size() + 1) > slots_.size()) grow();
    const string_key key = key_of(text);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = static_cast<std::size_t>(key.hash) & mask;; i = (i + 1) & mask) {
      const std::uint32_t slot = slots_[i];
      if (slot == 0) {
        distinct_.push_back({text, key});
        slots_[i] = static_cast<std::uint32_t>(distinct_.size());
        return slots_[i] - 1;
      }
      const distinct_string& known = distinct_[slot - 1];
      if (known.key.hash == key.hash && known.key.head0 == key.head0 && known.key.head1 == key.head1 &&
          known.text.size() == text.size() &&
          (text.size() <= 16 || std::memcmp(known.text.data() + 16, text.data() + 16, text.size() - 16) == 0)) {
        return slot - 1;
      }
    }
  }

  void grow() {
    USmallVector<std::uint32_t, kInlineSlots> slots(slots_.size() * 2, 0);
    const std::size_t mask = slots.size() - 1;
    for (std::size_t k = 0; k < distinct_.size(); ++k) {
      std::size_t i = static_cast<std::size_t>(distinct_[k].key.hash) & mask;
      while (slots[i] != 0) i = (i + 1) & mask;
      slots[i] = static_cast<std::uint32_t>(k + 1);
    }
    slots_ = std::move(slots);
  }

  // Sorts the distinct strings by byte order; id_[k] becomes the 1-based
  // table position of distinct string k. The first 16 bytes, as two
  // big-endian numbers, decide most comparisons; zero padding makes a text
  // and its extension by NUL bytes tie, and the full comparison settles it.
  void number_strings() {
    struct order_key {
      std::uint64_t first;
      std::uint64_t second;
      std::uint32_t index;
    };
    USmallVector<order_key, kInlineStrings> keys;
    keys.reserve(distinct_.size());
    for (std::uint32_t k = 0; k < distinct_.size(); ++k) {
      const string_key& key = distinct_[k].key;
      keys.push_back({reversed_bytes(key.head0), reversed_bytes(key.head1), k});
    }
    std::sort(keys.begin(), keys.end(), [this](const order_key& a, const order_key& b) {
      if (a.first != b.first) return a.first < b.first;
      if (a.second != b.second) return a.second < b.second;
      return distinct_[a.index].text < distinct_[b.index].text;
    });
    sorted_.resize(keys.size());
    id_.resize(keys.size());
    for (std::uint32_t position = 0; position < keys.size(); ++position) {
      sorted_[position] = keys[position].index;
      id_[keys[position].index] = position + 1;
    }
  }

  // Room for the strings of a small record (a request) without allocation.
  static constexpr std::size_t kInlineStrings = 16;
  static constexpr std::size_t kInlineSlots = 2 * kInlineStrings;
  static constexpr std::size_t kInlineUses = 32;

  const umessage& root_;
  USmallVector<std::uint32_t, kInlineUses> uses_;  // distinct index of each string use, in body order
  std::size_t next_use_ = 0;
  USmallVector<distinct_string, kInlineStrings> distinct_;  // in the order first met
  USmallVector<std::uint32_t, kInlineSlots> slots_;  // hash table: distinct index + 1, 0 free
  USmallVector<std::uint32_t, kInlineStrings> sorted_;  // distinct indexes in table order
  USmallVector<std::uint32_t, kInlineStrings> id_;      // table id of each distinct string
};

// ---- reading ----

// What remains of in, read into memory. The buffer grows only as bytes
// arrive, so a stream that claims a large size or never ends costs memory in
// proportion to what it delivers, not to what it announces. A seekable
// stream's remaining size sizes the first read, up to 1 MiB.
std::string read_remaining(std::istream& in) {
  std::string bytes;
  const std::istream::sentry ready(in, true);
  if (!ready) return bytes;
  std::streambuf& source = *in.rdbuf();

  constexpr std::size_t first_read_cap = std::size_t{1} << 20;
  std::size_t first_read = 4096;
  const auto here = source.pubseekoff(0, std::ios_base::cur, std::ios_base::in);
  if (here != std::streampos(-1)) {
    const auto last = source.pubseekoff(0, std::ios_base::end, std::ios_base::in);
    if (last != std::streampos(-1) && source.pubseekpos(here, std::ios_base::in) == here && last > here) {
      // One byte more than announced, so the end shows without a second buffer.
      first_read = static_cast<std::size_t>(std::min<std::streamoff>(last - here, first_read_cap)) + 1;
    }
  }

  std::size_t used = 0;
  bytes.resize(first_read);
  for (;;) {
    if (used == bytes.size()) bytes.resize(bytes.size() * 2);
    const std::streamsize got = source.sgetn(bytes.data() + used, static_cast<std::streamsize>(bytes.size() - used));
    if (got <= 0) break;
    used += static_cast<std::size_t>(got);
  }
  bytes.resize(used);
  if (!(in.exceptions() & std::ios_base::eofbit)) in.setstate(std::ios_base::eofbit);
  return bytes;
}

// The site of the ERROR record of a failed read.
inline constexpr vxu::LogSite kSiteUnflatten{"..\\..\\libs\\utils\\umessage_serialize.cpp", 436,
                                             "umessage::unflatten"};

void log_unflatten_failure(const char* reason) { VX_LOG(vxu::eLogLevel_Error, kSiteUnflatten) << reason; }

bool is_valid_name(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name) {
    if (c == '/' || c == '?') return false;
  }
  return true;
}

}  // namespace

namespace umessage_details {

// Reads the string table and the bodies of one flat form from a byte range.
// Every count is checked against the bytes that remain before anything is
// sized by it, so hostile counts fail before they cost memory. Failures
// throw std::runtime_error (or the record's own append errors); the caller
// logs them and discards what was built.
class flat_reader {
 public:
  flat_reader(const unsigned char* begin, const unsigned char* end, std::uint32_t version,
              vxu::flat_string_budget& budget)
      : p_(begin), end_(end), version_(version), string_budget_(budget) {}

  void read_table() {
    const std::uint64_t count = packed64();
    if (count > remaining()) truncated();  // every string takes at least its length byte
    table_.reserve(static_cast<std::size_t>(count));
    for (std::uint64_t i = 0; i < count; ++i) {
      const std::uint64_t length = packed64();
      if (length > remaining()) truncated();
      if (length > ustring::max_length) fail("umessage::unflatten() : string too long");
      table_.push_back({std::string_view(reinterpret_cast<const char*>(p_), static_cast<std::size_t>(length)), 0,
                        name_check::unknown, static_cast<std::uint32_t>(std::min<std::uint64_t>(i, kNotInTable))});
      p_ += length;
    }
    rank_strings();
  }

  // Fills target, a new empty record, from one body nested `depth` records
  // below the top.
  void read_body(umessage& target, int depth) {
    if (depth > vxu::max_flat_nesting) fail("umessage::unflatten() : nesting too deep");
    body_state body{target.entries_, ranks_.size()};

    if (version_ == 1) {
      const table_string& kind = string_at(packed64());
      if (!kind.text.empty()) {
        dyn_array_impl<ustring>& what = entry_for<ustring>(body, what_rank_, what_name_);
        append(what, copy(kind));
      }
    }

    const std::uint64_t entries = packed64();
    if (entries > vxu::max_flat_entries) fail("umessage::unflatten() : too many entry");
    // Name, type, count (and the is_array byte): the least an entry takes.
    const std::size_t least_entry = version_ == 4 ? 4 : 3;
    if (entries > remaining() / least_entry) truncated();
    body.entries.reserve(body.entries.size() + static_cast<std::size_t>(entries));

    for (std::uint64_t i = 0; i < entries; ++i) {
      const table_string& name = string_at(packed64());
      const int type = read_type();
      const bool flagged_array = version_ == 4 && byte() != 0;
      const std::uint64_t count = packed64();
      if (type == type_none) fail("unknown type!");
      if (count == 0) continue;
      if (count > remaining() / least_value_size(type)) truncated();
      switch (type) {
        case type_int:
          read_values<std::int32_t>(body, name, count, flagged_array, depth);
          break;
        case type_bool:
          read_values<bool>(body, name, count, flagged_array, depth);
          break;
        case type_double:
          read_values<double>(body, name, count, flagged_array, depth);
          break;
        case type_string:
          read_values<ustring>(body, name, count, flagged_array, depth);
          break;
        case type_message:
          read_values<shared_record>(body, name, count, flagged_array, depth);
          break;
        case type_int64:
          read_values<std::int64_t>(body, name, count, flagged_array, depth);
          break;
      }
    }
    finish(body);
  }

 private:
  enum class name_check : unsigned char { unknown, valid, invalid };

  // A table string and its rank: equal strings share a rank and ranks follow
  // byte order, so names compare as integers. Ranks are odd (2k + 1 for the
  // k-th distinct string); an even rank places a name that is not in the
  // table ("what" of a version-1 kind) between its neighbours.
  struct table_string {
    std::string_view text;
    std::uint64_t rank;
    mutable name_check name = name_check::unknown;  // decided when first used as a name
    std::uint32_t index = kNotInTable;              // position in table_
  };
  static constexpr std::uint32_t kNotInTable = ~std::uint32_t{0};

  // One body being read. Its entries are appended in arrival order, their
  // ranks kept on ranks_ from `first_rank` on (nested bodies stack theirs
  // above and drop them when done). Arrival in name order, the normal case,
  // needs nothing else; the first name out of order switches to a rank index
  // and a sort at the end, so no arrival order costs more than n log n.
  struct body_state {
    body_state(std::vector<umessage::entry>& entries_of_record, std::size_t ranks_below)
        : entries(entries_of_record), first_rank(ranks_below) {}

    std::vector<umessage::entry>& entries;
    std::size_t first_rank;
    bool in_order = true;
    std::map<std::uint64_t, std::size_t> index;  // rank -> position, once out of order
  };

  [[noreturn]] static void fail(const char* text) { throw std::runtime_error(text); }
  [[noreturn]] static void truncated() { fail("umessage::unflatten() : truncated input"); }

  std::size_t remaining() const { return static_cast<std::size_t>(end_ - p_); }

  std::uint64_t packed64() {
    std::uint64_t value = 0;
    if (!vxu::get_packed64(p_, end_, value)) truncated();
    return value;
  }
  std::uint32_t packed32() {
    std::uint32_t value = 0;
    if (!vxu::get_packed32(p_, end_, value)) truncated();
    return value;
  }
  unsigned char byte() {
    if (p_ == end_) truncated();
    return *p_++;
  }
  double float64() {
    if (remaining() < 8) truncated();
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = (bits << 8) | p_[i];
    p_ += 8;
    return std::bit_cast<double>(bits);
  }

  const table_string& string_at(std::uint64_t id) const {
    if (id == 0 || id > table_.size()) fail("string not found");
    return table_[static_cast<std::size_t>(id - 1)];
  }

  // A ustring copy of a string, charged to the budget of string copies.
  // Short table strings are made once and then copied as ustrings (a fixed
  // 24-byte copy): names and values repeat across records.
  ustring copy(const table_string& s) {
    const std::string_view text = s.text;
    if (!string_budget_.take(text.size())) fail("umessage::unflatten() : too much string data");
    if (text.size() > ustring::inline_capacity || s.index == kNotInTable) return ustring(text);
    if (short_copies_.empty()) short_copies_.resize(table_.size());
    ustring& made = short_copies_[s.index];
    if (made.size() != text.size()) made = ustring(text);  // only the empty text is never made
    return made;
  }

  int read_type() {
    if (version_ >= 3) {
      const std::uint32_t code = packed32();
      return code >= type_int && code <= type_int64 ? static_cast<int>(code) : type_none;
    }
    const std::string_view name = string_at(packed64()).text;
    if (name == "int") return type_int;
    if (name == "float") return type_double;
    if (name == "umessage") return type_message;
    if (name == "bool") return type_bool;
    if (name == "string") return type_string;
    return type_none;
  }

  // The fewest bytes one value of the type takes.
  std::size_t least_value_size(int type) const {
    if (type == type_double) return 8;
    if (type == type_message) return version_ == 1 ? 2 : 1;  // kind id, entry count
    return 1;
  }

  template <class T>
  T read_value(int depth) {
    if constexpr (std::is_same_v<T, std::int32_t>) {
      return static_cast<std::int32_t>(packed32());
    } else if constexpr (std::is_same_v<T, bool>) {
      return byte() != 0;
    } else if constexpr (std::is_same_v<T, double>) {
      return float64();
    } else if constexpr (std::is_same_v<T, ustring>) {
      return copy(string_at(packed64()));
    } else if constexpr (std::is_same_v<T, std::int64_t>) {
      return static_cast<std::int64_t>(packed64());
    } else {
      auto record = std::make_shared<umessage>();
      read_body(*record, depth + 1);
      return record;
    }
  }

  template <class T>
  static void append(dyn_array_impl<T>& array, T&& value) {
    array.values.push_back(std::move(value));
    if (array.values.size() > 1) array.is_array = true;
  }

  // Reads the count values of one entry and appends them under its name. The
  // first value is read before the name is looked up, as a reader appending
  // value by value would meet the errors.
  template <class T>
  void read_values(body_state& body, const table_string& name, std::uint64_t count, bool flagged_array, int depth) {
    T first = read_value<T>(depth);
    dyn_array_impl<T>& array = entry_for<T>(body, name.rank, name);
    array.values.reserve(array.values.size() + static_cast<std::size_t>(count));
    append(array, std::move(first));
    for (std::uint64_t i = 1; i < count; ++i) append(array, read_value<T>(depth));
    if (flagged_array) array.is_array = true;
  }

  // The array of the body's entry with this rank: the existing one, which
  // must hold T ("incompatible type"), or a new one under a valid name.
  template <class T>
  dyn_array_impl<T>& entry_for(body_state& body, std::uint64_t rank, const table_string& name) {
    std::vector<umessage::entry>& entries = body.entries;
    const std::size_t n = entries.size();
    std::size_t position = n;
    if (n > 0) {
      const std::uint64_t last = ranks_.back();
      if (body.in_order && rank == last) {
        position = n - 1;
      } else if (!body.in_order || rank < last) {
        if (body.in_order) {
          for (std::size_t i = 0; i < n; ++i) body.index.emplace(ranks_[body.first_rank + i], i);
          body.in_order = false;
        }
        const auto found = body.index.find(rank);
        if (found != body.index.end()) position = found->second;
      }
    }
    if (position < n) {
      array_slot& slot = entries[position].second;
      if (slot.type() != type_code_of<T>) throw std::logic_error("incompatible type");
      return slot.as<T>();
    }
    if (name.name == name_check::unknown) name.name = is_valid_name(name.text) ? name_check::valid : name_check::invalid;
    if (name.name == name_check::invalid) throw std::invalid_argument("empty or invalid name");
    entries.emplace_back(std::piecewise_construct, std::forward_as_tuple(copy(name)),
                         std::forward_as_tuple(std::in_place_type<T>));
    ranks_.push_back(rank);
    if (!body.in_order) body.index.emplace(rank, n);
    return entries.back().second.as<T>();
  }

  // Puts the body's entries in name order and drops its ranks.
  void finish(body_state& body) {
    if (!body.in_order) {
      std::vector<umessage::entry>& entries = body.entries;
      std::vector<umessage::entry> sorted;
      sorted.reserve(entries.size());
      for (const auto& [rank, position] : body.index) sorted.push_back(std::move(entries[position]));
      entries.swap(sorted);
    }
    ranks_.resize(body.first_rank);
  }

  // Ranks the table; a table that is already strictly ascending (as every
  // writer of version 4 makes it) is ranked by position.
  void rank_strings() {
    const std::size_t n = table_.size();
    bool ascending = true;
    for (std::size_t i = 1; i < n && ascending; ++i) ascending = table_[i - 1].text < table_[i].text;
    std::vector<std::size_t> order;
    if (ascending) {
      for (std::size_t i = 0; i < n; ++i) table_[i].rank = 2 * i + 1;
    } else {
      order.resize(n);
      std::iota(order.begin(), order.end(), std::size_t{0});
      std::sort(order.begin(), order.end(),
                [this](std::size_t a, std::size_t b) { return table_[a].text < table_[b].text; });
      std::uint64_t rank = 1;
      for (std::size_t i = 0; i < n; ++i) {
        if (i > 0 && table_[order[i - 1]].text != table_[order[i]].text) rank += 2;
        table_[order[i]].rank = rank;
      }
    }
    if (version_ == 1) {
      // "what": the rank of its table string, or the even rank just below
      // the first string that sorts after it.
      constexpr std::string_view what = "what";
      auto text_at = [&](std::size_t i) { return table_[ascending ? i : order[i]].text; };
      std::size_t low = 0;
      std::size_t high = n;
      while (low < high) {
        const std::size_t mid = low + (high - low) / 2;
        if (text_at(mid) < what) {
          low = mid + 1;
        } else {
          high = mid;
        }
      }
      if (low == n) {
        what_rank_ = n == 0 ? 0 : table_[ascending ? n - 1 : order[n - 1]].rank + 1;
      } else {
        const std::uint64_t next = table_[ascending ? low : order[low]].rank;
        what_rank_ = text_at(low) == what ? next : next - 1;
      }
    }
  }

  const unsigned char* p_;
  const unsigned char* end_;
  std::uint32_t version_;
  vxu::flat_string_budget& string_budget_;
  std::vector<table_string> table_;
  std::vector<ustring> short_copies_;  // by table position, made on first use
  std::vector<std::uint64_t> ranks_;
  std::uint64_t what_rank_ = 0;
  table_string what_name_{"what", 0, name_check::valid};
};

}  // namespace umessage_details

void umessage::flatten(std::ostream& out) const {
  flat_writer writer(*this);
  writer.write_to(out);
}

bool umessage::unflatten(std::istream& in) {
  vxu::flat_string_budget budget;
  return unflatten(in, budget);
}

bool umessage::unflatten(std::istream& in, vxu::flat_string_budget& budget) {
  clear();
  std::string input;
  try {
    input = read_remaining(in);
  } catch (const std::exception& e) {
    log_unflatten_failure(e.what());
    return false;
  }
  const auto* p = reinterpret_cast<const unsigned char*>(input.data());
  const auto* end = p + input.size();
  std::uint32_t version = 0;
  if (!vxu::get_packed32(p, end, version) || version == 0 || version > vxu::flat_version) return false;

  try {
    umessage result;
    budget.add_input(input.size());
    umessage_details::flat_reader reader(p, end, version, budget);
    reader.read_table();
    reader.read_body(result, 0);
    swap(result);
    return true;
  } catch (const std::exception& e) {
    log_unflatten_failure(e.what());
    clear();
    return false;
  }
}
