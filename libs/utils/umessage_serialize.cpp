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
#include <vector>

#include "utils/Logger.h"
#include "utils/packed_int.h"
#include "utils/umessage.h"

namespace {

using umessage_details::dyn_array_impl;
using shared_record = std::shared_ptr<umessage>;

// ---- writing ----

// The bytes of one flat form, written to the stream in one call at the end.
class byte_sink {
 public:
  // Room for n more bytes at the returned position; commit what was used.
  unsigned char* room(std::size_t n) {
    if (capacity_ - used_ < n) grow(n);
    return buffer_.get() + used_;
  }
  void commit(unsigned char* end) { used_ = static_cast<std::size_t>(end - buffer_.get()); }

  void put_packed(std::uint64_t value) { commit(vxu::put_packed64(room(vxu::packed64_max_size), value)); }
  void put_byte(unsigned char value) {
    *room(1) = value;
    ++used_;
  }
  void put_bytes(std::string_view bytes) {
    if (bytes.empty()) return;
    std::memcpy(room(bytes.size()), bytes.data(), bytes.size());
    used_ += bytes.size();
  }
  // IEEE 754 bits, least significant byte first whatever the machine's order.
  void put_double(double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    unsigned char* p = room(8);
    for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(bits >> (8 * i));
    used_ += 8;
  }

  void write_to(std::ostream& out) const {
    out.write(reinterpret_cast<const char*>(buffer_.get()), static_cast<std::streamsize>(used_));
  }

 private:
  void grow(std::size_t n) {
    const std::size_t capacity = std::max({capacity_ * 2, used_ + n, std::size_t{256}});
    auto bigger = std::make_unique_for_overwrite<unsigned char[]>(capacity);
    if (used_ > 0) std::memcpy(bigger.get(), buffer_.get(), used_);
    buffer_ = std::move(bigger);
    capacity_ = capacity;
  }

  std::unique_ptr<unsigned char[]> buffer_;
  std::size_t capacity_ = 0;
  std::size_t used_ = 0;
};

// Writes one record as version 4: the string table of every name and string
// value (nested records included), then the body with strings as ids.
class flat_writer {
 public:
  explicit flat_writer(const umessage& root) {
    collect(root);
    std::sort(table_.begin(), table_.end());
    table_.erase(std::unique(table_.begin(), table_.end()), table_.end());
  }

  void write(const umessage& root, byte_sink& out) const {
    out.put_packed(vxu::flat_version);
    out.put_packed(table_.size());
    for (std::string_view text : table_) {
      out.put_packed(text.size());
      out.put_bytes(text);
    }
    write_body(root, out);
  }

 private:
  void collect(const umessage& record) {
    for (const auto& [name, array] : record) {
      table_.push_back(name.view());
      if (const auto* strings = array.as<ustring>()) {
        for (const ustring& value : strings->values) table_.push_back(value.view());
      } else if (const auto* records = array.as<shared_record>()) {
        for (const shared_record& value : records->values) collect(*value);
      }
    }
  }

  // The 1-based position of a collected string in the sorted table.
  std::uint64_t id_of(std::string_view text) const {
    return static_cast<std::uint64_t>(std::lower_bound(table_.begin(), table_.end(), text) - table_.begin()) + 1;
  }

  void write_body(const umessage& record, byte_sink& out) const {
    out.put_packed(record.size());
    for (const auto& [name, array] : record) {
      out.put_packed(id_of(name.view()));
      out.put_packed(static_cast<std::uint32_t>(array.type()));
      out.put_byte(array.is_array ? 1 : 0);
      out.put_packed(array.size());
      switch (array.type()) {
        case umessage::type_int:
          for (std::int32_t value : array.as<std::int32_t>()->values) out.put_packed(static_cast<std::uint32_t>(value));
          break;
        case umessage::type_bool:
          for (bool value : array.as<bool>()->values) out.put_byte(value ? 1 : 0);
          break;
        case umessage::type_double:
          for (double value : array.as<double>()->values) out.put_double(value);
          break;
        case umessage::type_string:
          for (const ustring& value : array.as<ustring>()->values) out.put_packed(id_of(value.view()));
          break;
        case umessage::type_message:
          for (const shared_record& value : array.as<shared_record>()->values) write_body(*value, out);
          break;
        case umessage::type_int64:
          for (std::int64_t value : array.as<std::int64_t>()->values) out.put_packed(static_cast<std::uint64_t>(value));
          break;
        default:
          break;  // a record never stores another type
      }
    }
  }

  std::vector<std::string_view> table_;
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
  return !name.empty() && name.find_first_of("/?") == std::string_view::npos;
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
  flat_reader(const unsigned char* begin, const unsigned char* end, std::uint32_t version)
      : p_(begin),
        end_(end),
        version_(version),
        string_budget_(static_cast<std::uint64_t>(end - begin) + vxu::max_flat_string_expansion) {}

  void read_table() {
    const std::uint64_t count = packed64();
    if (count > remaining()) truncated();  // every string takes at least its length byte
    table_.reserve(static_cast<std::size_t>(count));
    for (std::uint64_t i = 0; i < count; ++i) {
      const std::uint64_t length = packed64();
      if (length > remaining()) truncated();
      if (length > ustring::max_length) fail("umessage::unflatten() : string too long");
      table_.push_back({std::string_view(reinterpret_cast<const char*>(p_), static_cast<std::size_t>(length)), 0});
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
        dyn_array_impl<ustring>& what = entry_for<ustring>(body, what_rank_, "what");
        append(what, copy(kind.text));
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
  // A table string and its rank: equal strings share a rank and ranks follow
  // byte order, so names compare as integers. Ranks are odd (2k + 1 for the
  // k-th distinct string); an even rank places a name that is not in the
  // table ("what" of a version-1 kind) between its neighbours.
  struct table_string {
    std::string_view text;
    std::uint64_t rank;
  };

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

  // A ustring copy of table text, charged to the budget of string copies.
  ustring copy(std::string_view text) {
    if (text.size() > string_budget_) fail("umessage::unflatten() : too much string data");
    string_budget_ -= text.size();
    return ustring(text);
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
      return copy(string_at(packed64()).text);
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
    dyn_array_impl<T>& array = entry_for<T>(body, name.rank, name.text);
    array.values.reserve(array.values.size() + static_cast<std::size_t>(count));
    append(array, std::move(first));
    for (std::uint64_t i = 1; i < count; ++i) append(array, read_value<T>(depth));
    if (flagged_array) array.is_array = true;
  }

  // The array of the body's entry with this rank: the existing one, which
  // must hold T ("incompatible type"), or a new one under a valid name.
  template <class T>
  dyn_array_impl<T>& entry_for(body_state& body, std::uint64_t rank, std::string_view name) {
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
      auto* array = entries[position].second->as<T>();
      if (array == nullptr) throw std::logic_error("incompatible type");
      return *array;
    }
    if (!is_valid_name(name)) throw std::invalid_argument("empty or invalid name");
    auto array = std::make_unique<dyn_array_impl<T>>();
    dyn_array_impl<T>& result = *array;
    entries.emplace_back(copy(name), std::move(array));
    ranks_.push_back(rank);
    if (!body.in_order) body.index.emplace(rank, n);
    return result;
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
  std::uint64_t string_budget_;
  std::vector<table_string> table_;
  std::vector<std::uint64_t> ranks_;
  std::uint64_t what_rank_ = 0;
};

}  // namespace umessage_details

void umessage::flatten(std::ostream& out) const {
  byte_sink bytes;
  flat_writer(*this).write(*this, bytes);
  bytes.write_to(out);
}

bool umessage::unflatten(std::istream& in) {
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
    umessage_details::flat_reader reader(p, end, version);
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
