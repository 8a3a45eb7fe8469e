// umessage::write and umessage::read: the record as compact JSON text.
//
// Writing
//   {"name":value,...} with the entries in the record's order and no white
//   space at all. An entry flagged is_array, or holding two or more values,
//   is a JSON array of its values; any other entry is its single value.
//   int and int64: decimal. double: printf "%g" (6 significant digits, '.'
//   as the point, exponent e+XX), except that +-infinity is written
//   1e+999 / -1e+999 (which reads back as +-infinity) and NaN as null (a
//   member holding NaN reads back as no entry, an array holding one does not
//   read back), since JSON has no literal for them. bool: true / false.
//   Strings and names: the bytes between double quotes with exactly seven
//   escapes (\" \\ \b \f \n \r \t); every other byte is written unchanged.
//   Names are escaped too: a name read from outside may hold a quote, and
//   written raw it would end the name early and let its tail pose as
//   further members of the text.
//   The writer walks nested records with an explicit stack, so no depth of a
//   record built in memory can overflow the call stack. The text is built
//   in a fixed buffer and handed to the stream in large chunks, then the
//   stream is flushed.
//
// Reading
//   See JSONParser.h for the tokens. The first token must be '{'; the text
//   after the top-level object's closing brace is not read. Members: a
//   string name (a name already held by the record fails), ':', then a value:
//   an object (a nested record), an array, true/false, null (no entry), a
//   string, an integer (int, atoi rules) or a real (double, atof rules). A
//   ',' after a member or an array element is optional. Arrays hold one kind
//   of element (records, bools, strings or numbers); integers and reals mix,
//   and then every element becomes a double. An empty array gives no entry;
//   nested arrays fail. Objects and arrays nest at most kMaxDepth deep.
//   On failure the top-level record keeps the members stored before it
//   (including the elements of an array stored so far); a nested record that
//   failed is not stored.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string_view>
#include <tuple>
#include <unordered_set>
#include <utility>
#include <vector>

#include "utils/JSONParser.h"
#include "utils/Logger.h"
#include "utils/umessage.h"

namespace {

using umessage_details::dyn_array;
using umessage_details::dyn_array_impl;
using shared_record = std::shared_ptr<umessage>;

// The site of the record that a failed read writes.
constexpr vxu::LogSite kSiteUmessageRead{"..\\..\\libs\\utils\\umessage.cpp", 816, "umessage::read"};

// ---------------------------------------------------------------- writing

// Bytes of a string that are written as a backslash and a letter; 0 for
// bytes written as they are.
constexpr std::array<char, 256> make_escapes() {
  std::array<char, 256> table{};
  table['"'] = '"';
  table['\\'] = '\\';
  table['\b'] = 'b';
  table['\f'] = 'f';
  table['\n'] = 'n';
  table['\r'] = 'r';
  table['\t'] = 't';
  return table;
}
constexpr std::array<char, 256> kEscapes = make_escapes();

class json_writer {
 public:
  explicit json_writer(std::ostream& out) : out_(out) {}
  json_writer(const json_writer&) = delete;
  json_writer& operator=(const json_writer&) = delete;

  void write(const umessage& root);

 private:
  // Room for a number, a keyword or punctuation.
  static constexpr std::size_t kItemRoom = 32;
  static constexpr std::size_t kBufferSize = 16384;

  struct frame {
    umessage::const_iterator it;
    umessage::const_iterator end;
    // While the values of a record entry are written: those values, the next
    // one to write and whether they form a JSON array.
    const umessage_details::value_vector<shared_record>* records = nullptr;
    std::size_t next = 0;
    bool bracketed = false;
    bool first = true;
  };

  void room(std::size_t n) {
    if (static_cast<std::size_t>(end_ - pos_) < n) drain();
  }
  void drain() {
    out_.write(buffer_, pos_ - buffer_);
    pos_ = buffer_;
  }
  void put(char c) {
    room(1);
    *pos_++ = c;
  }
  void put_raw(const char* text, std::size_t n) {
    room(n);
    std::memcpy(pos_, text, n);
    pos_ += n;
  }
  void put_string(std::string_view text);
  void put_value(std::int32_t v) { put_integer(v); }
  void put_value(std::int64_t v) { put_integer(v); }
  void put_value(bool v) { v ? put_raw("true", 4) : put_raw("false", 5); }
  void put_value(double v);
  void put_value(const ustring& v) { put_string(v.view()); }
  template <class I>
  void put_integer(I v) {
    room(kItemRoom);
    pos_ = std::to_chars(pos_, end_, v).ptr;
  }
  template <class T>
  void put_values(const dyn_array& array);
  void open_record(const umessage& record);

  std::ostream& out_;
  char buffer_[kBufferSize];
  char* pos_ = buffer_;
  char* const end_ = buffer_ + kBufferSize;
  std::vector<frame> stack_;
};

// True when one of the 8 bytes of w may need an escape: a byte below 0x20,
// a double quote or a backslash (a superset of the seven, checked exactly
// byte by byte).
inline bool may_escape(std::uint64_t w) {
  constexpr std::uint64_t ones = 0x0101010101010101u;
  constexpr std::uint64_t highs = 0x8080808080808080u;
  const std::uint64_t quote = w ^ (ones * '"');
  const std::uint64_t backslash = w ^ (ones * '\\');
  // A zero byte in v sets its high bit in (v - ones) & ~v (the classic test).
  const std::uint64_t hits = ((w - ones * 0x20) & ~w) | ((quote - ones) & ~quote) | ((backslash - ones) & ~backslash);
  return (hits & highs) != 0;
}

void json_writer::put_string(std::string_view text) {
  put('"');
  const char* p = text.data();
  const char* const stop = p + text.size();
  while (p < stop) {
    room(16);
    // Plain bytes eight at a time while the buffer has room, then one byte
    // (escaped or not) at a time until the next clean block.
    while (stop - p >= 8 && end_ - pos_ >= 8) {
      std::uint64_t w;
      std::memcpy(&w, p, 8);
      if (may_escape(w)) break;
      std::memcpy(pos_, &w, 8);
      pos_ += 8;
      p += 8;
    }
    const char* const run_end = p + std::min<std::ptrdiff_t>(8, stop - p);
    while (p < run_end && end_ - pos_ >= 2) {
      const char escape = kEscapes[static_cast<unsigned char>(*p)];
      if (escape == 0) {
        *pos_++ = *p;
      } else {
        pos_[0] = '\\';
        pos_[1] = escape;
        pos_ += 2;
      }
      ++p;
    }
  }
  put('"');
}

// printf("%.6g") for the common case of a value with at most six significant
// digits in the fixed-notation range [1e-4, 1e6): the digits are then the
// integer v * 10^k for the smallest such k. That product is rounded, but a
// value whose product rounds to an integer below 10^6 lies within 1e-10 of it
// and so far from any rounding boundary of the sixth digit. Returns the end
// of the text, or nullptr when the value needs the general conversion.
char* format_short_decimal(char* out, double v) {
  const double a = std::fabs(v);
  if (!(a >= 1e-4 && a < 1e6)) return nullptr;
  double scale = 1.0;
  int decimals = 0;
  double scaled = a;
  while (scaled != std::floor(scaled)) {
    if (++decimals > 9) return nullptr;
    scale *= 10.0;
    scaled = a * scale;
    if (scaled >= 1e6) return nullptr;
  }
  auto digits = static_cast<std::uint32_t>(scaled);
  while (decimals > 0 && digits % 10 == 0) {
    digits /= 10;
    --decimals;
  }
  char text[16];
  char* const text_end = std::to_chars(text, text + sizeof text, digits).ptr;
  const int count = static_cast<int>(text_end - text);
  if (v < 0) *out++ = '-';
  if (decimals == 0) {
    std::memcpy(out, text, static_cast<std::size_t>(count));
    return out + count;
  }
  if (count > decimals) {
    const int whole = count - decimals;
    std::memcpy(out, text, static_cast<std::size_t>(whole));
    out += whole;
    *out++ = '.';
    std::memcpy(out, text + whole, static_cast<std::size_t>(decimals));
    return out + decimals;
  }
  *out++ = '0';
  *out++ = '.';
  for (int i = count; i < decimals; ++i) *out++ = '0';
  std::memcpy(out, text, static_cast<std::size_t>(count));
  return out + count;
}

void json_writer::put_value(double v) {
  if (!std::isfinite(v)) {
    if (std::isnan(v))
      put_raw("null", 4);
    else if (v > 0)
      put_raw("1e+999", 6);
    else
      put_raw("-1e+999", 7);
    return;
  }
  room(kItemRoom);
  if (char* end = format_short_decimal(pos_, v)) {
    pos_ = end;
    return;
  }
  // Specified as printf("%.6g") in the "C" locale.
  pos_ = std::to_chars(pos_, end_, v, std::chars_format::general, 6).ptr;
}

template <class T>
void json_writer::put_values(const dyn_array& array) {
  const auto& values = static_cast<const dyn_array_impl<T>&>(array).values;
  if (!array.is_array && values.size() == 1) {
    put_value(values.front());
    return;
  }
  put('[');
  bool first = true;
  for (const auto& v : values) {
    if (!first) put(',');
    first = false;
    put_value(static_cast<const T&>(v));
  }
  put(']');
}

void json_writer::open_record(const umessage& record) {
  put('{');
  frame f;
  f.it = record.begin();
  f.end = record.end();
  stack_.push_back(f);
}

void json_writer::write(const umessage& root) {
  stack_.reserve(16);
  open_record(root);
  while (!stack_.empty()) {
    frame& f = stack_.back();
    if (f.records != nullptr) {
      if (f.next < f.records->size()) {
        if (f.next > 0) put(',');
        const umessage& nested = *(*f.records)[f.next++];
        open_record(nested);  // f is no longer valid
        continue;
      }
      if (f.bracketed) put(']');
      f.records = nullptr;
      ++f.it;
      continue;
    }
    if (f.it == f.end) {
      put('}');
      stack_.pop_back();
      continue;
    }
    if (!f.first) put(',');
    f.first = false;
    const auto [name, array] = *f.it;
    put_string(name.view());
    put(':');
    switch (array.code()) {
      case umessage_details::type_int: put_values<std::int32_t>(array); break;
      case umessage_details::type_bool: put_values<bool>(array); break;
      case umessage_details::type_double: put_values<double>(array); break;
      case umessage_details::type_string: put_values<ustring>(array); break;
      case umessage_details::type_int64: put_values<std::int64_t>(array); break;
      case umessage_details::type_message: {
        f.records = &static_cast<const dyn_array_impl<shared_record>&>(array).values;
        f.next = 0;
        f.bracketed = array.is_array || f.records->size() > 1;
        if (f.bracketed) put('[');
        continue;  // the records follow, then the entry ends
      }
      default: break;  // no other type is ever stored
    }
    ++f.it;
  }
  drain();
}

// ---------------------------------------------------------------- reading

using umessage_details::array_slot;
using record_entry = umessage_details::entry;
using record_entries = std::vector<record_entry>;

// Objects and arrays nest at most this deep: a hostile text cannot exhaust
// the call stack, and no real record comes near it.
constexpr int kMaxDepth = 256;

// True when one of the 8 bytes of w is '/' or '?' (the zero-byte test as in
// may_escape; a flagged byte always has a true match at or below it).
inline bool has_separator(std::uint64_t w) {
  constexpr std::uint64_t ones = 0x0101010101010101u;
  constexpr std::uint64_t highs = 0x8080808080808080u;
  const std::uint64_t slash = w ^ (ones * '/');
  const std::uint64_t question = w ^ (ones * '?');
  return ((((slash - ones) & ~slash) | ((question - ones) & ~question)) & highs) != 0;
}

bool is_valid_name(std::string_view name) {
  const std::size_t n = name.size();
  if (n == 0) return false;
  const char* p = name.data();
  if (n >= 8) {
    // Whole words, the last one overlapping the one before.
    std::uint64_t w;
    for (std::size_t i = 0; i + 8 <= n; i += 8) {
      std::memcpy(&w, p + i, 8);
      if (has_separator(w)) return false;
    }
    std::memcpy(&w, p + n - 8, 8);
    return !has_separator(w);
  }
  if (n >= 4) {
    // Two overlapping halves in one word.
    std::uint32_t head;
    std::uint32_t tail;
    std::memcpy(&head, p, 4);
    std::memcpy(&tail, p + n - 4, 4);
    return !has_separator(std::uint64_t{head} << 32 | tail);
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (p[i] == '/' || p[i] == '?') return false;
  }
  return true;
}

[[noreturn]] void throw_invalid_name() { throw std::invalid_argument("empty or invalid name"); }

// The members of one object as they are read, kept at the top of a scratch
// vector that all objects of one read share as a stack (a nested object's
// members go above its parent's and leave before the parent goes on), so
// that a finished record gets its entries in one exactly sized allocation.
// Names arrive in any order; the entries are sorted once when the object is
// complete, so neither the repeated-name check nor the insertion costs more
// than n log n for any order of n names.
class member_list {
 public:
  explicit member_list(record_entries& scratch) : scratch_(scratch), start_(scratch.size()) {}
  member_list(const member_list&) = delete;
  member_list& operator=(const member_list&) = delete;
  // Drops whatever take did not (a nested object that failed).
  ~member_list() {
    index_.reset();
    scratch_.erase(scratch_.begin() + offset(start_), scratch_.end());
  }

  // True when a member of that name has been stored.
  bool holds(const ustring& name) {
    after_last_ = true;
    if (scratch_.size() == start_) return false;
    if (sorted_) {
      const int to_last = name.compare(scratch_.back().first);
      if (to_last > 0) return false;
      after_last_ = false;
      if (to_last == 0) return true;
      return std::binary_search(scratch_.begin() + offset(start_), scratch_.end() - 1, name.view(), name_less{});
    }
    return index_->find(name.view()) != index_->end();
  }

  // Stores a new member of one value under the name that holds found
  // missing last; the caller has checked the name with is_valid_name. The
  // array is built in place: the value is moved in, which cannot throw.
  template <class T>
  void store(ustring& name, T value, bool as_array) {
    static_assert(std::is_nothrow_move_constructible_v<T>);
    if (sorted_ && !after_last_) {
      // Out of order from now on: index the names to check repeats.
      sorted_ = false;
      index_ = std::make_unique<name_index>(2 * (scratch_.size() - start_), name_hash{&scratch_},
                                            name_equal{&scratch_});
      for (std::size_t i = start_; i < scratch_.size(); ++i) index_->insert(i);
    }
    array_slot& slot = scratch_
                           .emplace_back(std::piecewise_construct, std::forward_as_tuple(std::move(name)),
                                         std::forward_as_tuple(std::in_place_type<T>))
                           .second;
    auto& array = slot.as<T>();
    array.values.push_back(std::move(value));
    array.is_array = as_array;
    if (!sorted_) index_->insert(scratch_.size() - 1);
  }

  // The array of the member stored last (an array being filled). Nested
  // objects read meanwhile may move it: fetch it again after each.
  array_slot& last() { return scratch_.back().second; }

  // The entries in name order, leaving the scratch as it was before this
  // object.
  record_entries take() {
    const auto first = scratch_.begin() + offset(start_);
    if (!sorted_) {
      index_.reset();
      std::sort(first, scratch_.end(), [](const record_entry& a, const record_entry& b) {
        return a.first.view() < b.first.view();
      });
    }
    record_entries entries(std::make_move_iterator(first), std::make_move_iterator(scratch_.end()));
    scratch_.erase(scratch_.begin() + offset(start_), scratch_.end());
    return entries;
  }

 private:
  static std::ptrdiff_t offset(std::size_t i) { return static_cast<std::ptrdiff_t>(i); }

  struct name_less {
    bool operator()(const record_entry& e, std::string_view key) const { return e.first.view() < key; }
    bool operator()(std::string_view key, const record_entry& e) const { return key < e.first.view(); }
  };
  // The index holds positions in the scratch and is searched by name.
  struct name_hash {
    using is_transparent = void;
    const record_entries* entries;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
    std::size_t operator()(std::size_t i) const { return (*this)((*entries)[i].first.view()); }
  };
  struct name_equal {
    using is_transparent = void;
    const record_entries* entries;
    std::string_view at(std::size_t i) const { return (*entries)[i].first.view(); }
    bool operator()(std::size_t a, std::size_t b) const { return at(a) == at(b); }
    bool operator()(std::string_view a, std::size_t b) const { return a == at(b); }
    bool operator()(std::size_t a, std::string_view b) const { return at(a) == b; }
  };
  using name_index = std::unordered_set<std::size_t, name_hash, name_equal>;

  record_entries& scratch_;
  const std::size_t start_;
  bool sorted_ = true;
  bool after_last_ = true;  // the name holds checked last sorts after all stored ones
  std::unique_ptr<name_index> index_;
};

class json_reader {
 public:
  // install moves finished entries into a record (the record's entries are
  // private to umessage, which hands this reader the means).
  using installer = void (*)(umessage&, record_entries&&);

  json_reader(JSONParser& parser, installer install) : parser_(parser), install_(install) {}

  // Parses the top-level object into root. On failure root receives the
  // members stored so far and the exception propagates.
  void read_root(umessage& root) {
    if (!parser_.scan(token_) || token_.kind != eJSON_Token_ObjectBegin) parser_.raise_error();
    member_list members(scratch_);
    try {
      read_members(members, 1);
    } catch (...) {
      install_(root, members.take());
      throw;
    }
    install_(root, members.take());
  }

 private:
  enum element_kind { eElementKind_Undecided, eElementKind_Records, eElementKind_Bools, eElementKind_Strings,
                      eElementKind_Ints, eElementKind_Doubles };

  // Next token, which must exist.
  void next() {
    if (!parser_.scan(token_)) parser_.raise_error();
  }
  bool is(JSON_Token kind) const { return token_.kind == kind; }
  // The token after an optional ',' (which follows every member and element).
  void next_after_optional_comma() {
    if (parser_.skip(',')) {
      next();
      return;
    }
    next();
    if (is(eJSON_Token_Comma)) next();
  }

  shared_record read_object(int depth) {
    if (depth > kMaxDepth) parser_.raise_error();
    member_list members(scratch_);
    read_members(members, depth);
    auto record = std::make_shared<umessage>();
    install_(*record, members.take());
    return record;
  }

  // The members after '{' up to and including '}'.
  void read_members(member_list& members, int depth) {
    next();
    for (;;) {
      if (is(eJSON_Token_ObjectEnd)) return;
      if (!is(eJSON_Token_String)) parser_.raise_error();
      name_.swap(token_.text);
      if (members.holds(name_)) parser_.raise_error();
      if (!parser_.skip(':')) {
        next();
        if (!is(eJSON_Token_Colon)) parser_.raise_error();
      }
      next();
      read_member_value(members, depth);
      next_after_optional_comma();
    }
  }

  void read_member_value(member_list& members, int depth) {
    switch (token_.kind) {
      case eJSON_Token_ObjectBegin: {
        // name_ is reused by the nested members: keep this one aside.
        ustring name = std::move(name_);
        shared_record record = read_object(depth + 1);
        store(members, name, std::move(record));
        return;
      }
      case eJSON_Token_ArrayBegin: {
        ustring name = std::move(name_);
        read_array(members, name, depth + 1);
        return;
      }
      case eJSON_Token_True:
      case eJSON_Token_False: store(members, name_, is(eJSON_Token_True)); return;
      case eJSON_Token_Null: return;
      case eJSON_Token_String: store(members, name_, std::move(token_.text)); return;
      case eJSON_Token_Integer:
        store(members, name_, std::int32_t{parser_.integer_value(token_)});
        return;
      case eJSON_Token_Real:
        store(members, name_, JSONParser::to_real(token_.text.view()));
        return;
      default: parser_.raise_error();
    }
  }

  // Stores the first value of a member (moving name into the record).
  template <class T>
  static void store(member_list& members, ustring& name, T&& value, bool as_array = false) {
    if (!is_valid_name(name.view())) throw_invalid_name();
    members.store<std::remove_cvref_t<T>>(name, std::forward<T>(value), as_array);
  }

  // The elements after '[' up to and including ']', stored under name as
  // they come (the first element creates the entry).
  void read_array(member_list& members, ustring& name, int depth) {
    if (depth > kMaxDepth) parser_.raise_error();
    element_kind kind = eElementKind_Undecided;
    auto begin = [&](element_kind k, auto&& first) {
      kind = k;
      store(members, name, std::forward<decltype(first)>(first), true);
    };
    // The entry's values once it exists (the last member stored).
    auto values = [&]<class T>(std::type_identity<T>) -> auto& { return members.last().as<T>().values; };
    next();
    for (;;) {
      if (is(eJSON_Token_ArrayEnd)) return;
      switch (token_.kind) {
        case eJSON_Token_ObjectBegin: {
          if (kind != eElementKind_Undecided && kind != eElementKind_Records) parser_.raise_error();
          shared_record record = read_object(depth + 1);
          if (kind == eElementKind_Undecided)
            begin(eElementKind_Records, std::move(record));
          else
            values(std::type_identity<shared_record>()).push_back(std::move(record));
          break;
        }
        case eJSON_Token_True:
        case eJSON_Token_False: {
          const bool value = is(eJSON_Token_True);
          if (kind == eElementKind_Undecided)
            begin(eElementKind_Bools, value);
          else if (kind == eElementKind_Bools)
            values(std::type_identity<bool>()).push_back(value);
          else
            parser_.raise_error();
          break;
        }
        case eJSON_Token_String:
          if (kind == eElementKind_Undecided)
            begin(eElementKind_Strings, std::move(token_.text));
          else if (kind == eElementKind_Strings)
            values(std::type_identity<ustring>()).push_back(std::move(token_.text));
          else
            parser_.raise_error();
          break;
        case eJSON_Token_Integer: {
          const int value = parser_.integer_value(token_);
          if (kind == eElementKind_Undecided)
            begin(eElementKind_Ints, value);
          else if (kind == eElementKind_Ints)
            values(std::type_identity<std::int32_t>()).push_back(value);
          else if (kind == eElementKind_Doubles)
            values(std::type_identity<double>()).push_back(value);
          else
            parser_.raise_error();
          break;
        }
        case eJSON_Token_Real: {
          const double value = JSONParser::to_real(token_.text.view());
          if (kind == eElementKind_Undecided) {
            begin(eElementKind_Doubles, value);
          } else if (kind == eElementKind_Doubles) {
            values(std::type_identity<double>()).push_back(value);
          } else if (kind == eElementKind_Ints) {
            // The integers so far become doubles, once per array.
            const auto& ints = values(std::type_identity<std::int32_t>());
            array_slot doubles{std::in_place_type<double>};
            auto& converted = doubles.as<double>();
            converted.values.reserve(ints.size() + 1);
            converted.values.assign(ints.begin(), ints.end());
            converted.values.push_back(value);
            converted.is_array = true;
            members.last() = std::move(doubles);
            kind = eElementKind_Doubles;
          } else {
            parser_.raise_error();
          }
          break;
        }
        default: parser_.raise_error();
      }
      next_after_optional_comma();
    }
  }

  JSONParser& parser_;
  installer install_;
  JSONParser::Token token_;
  ustring name_;  // the member name being read, reused between members
  record_entries scratch_;  // the members of the open objects, see member_list
};

}  // namespace

void umessage::write(std::ostream& out) const {
  json_writer(out).write(*this);
  out.flush();
}

bool umessage::read(std::istream& in) {
  clear();
  try {
    JSONParser parser(in);
    if (!in.good()) return false;
    json_reader reader(parser, [](umessage& record, record_entries&& entries) {
      record.entries_ = std::move(entries);
    });
    reader.read_root(*this);
    return true;
  } catch (const std::exception& e) {
    VX_LOG(vxu::eLogLevel_Error, kSiteUmessageRead) << e.what();
    return false;
  }
}
