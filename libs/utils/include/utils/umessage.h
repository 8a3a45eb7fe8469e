// umessage: the system's universal record.
//
// A record is a set of named entries kept sorted by name (bytes compared as
// unsigned, a proper prefix first, case-sensitive; the ustring order). Each
// entry holds one or more values of one type: int, bool, double, ustring,
// shared nested umessage or int64. By convention the string entry "what"
// names the record's kind.
//
// Contracts a caller may rely on:
// - Names are unique; every entry holds at least one value (an entry whose
//   last value is erased disappears); all values of an entry share its type.
// - A name that creates an entry is non-empty and contains neither '/' nor
//   '?' (the separators of paths); lookups accept any text and simply find
//   nothing.
// - Appends that fail throw and leave the record exactly as it was:
//   std::invalid_argument "empty or invalid name" for a bad name,
//   std::logic_error "incompatible type" for a value whose type differs from
//   the existing entry's, std::invalid_argument "record is null" for a null
//   shared record.
// - Reads never throw; they report failure by false or a default value.
// - Nested records are shared: add(name, shared_ptr) stores that very record
//   and message_at / the shared get hand it out again. Copying a whole record
//   deep-copies every nested record, so two copies never share one. A record
//   must not be stored inside itself (directly or through nested records).
// - No internal locking: one thread uses a record at a time.
//
// Iteration visits the entries in name order:
//
//   for (const auto& [name, array] : record)
//     ... array.type(), array.is_array, array.size(),
//         array.as<std::int32_t>()->values ...   (see umessage_details.h)
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "utils/umessage_details.h"
#include "utils/ustring.h"

class umessage;

namespace vxu {
class flat_string_budget;  // utils/umessage_serialize.h
}

namespace umessage_details {
class flat_reader;  // builds records from the flat form (umessage_serialize.cpp)
}  // namespace umessage_details

// Value types a record can hand out through get / value.
template <class T>
concept umessage_readable = std::same_as<T, int> || std::same_as<T, double> ||
    std::same_as<T, std::int64_t> || std::same_as<T, bool> || std::same_as<T, ustring> ||
    std::same_as<T, umessage> || std::same_as<T, std::shared_ptr<umessage>>;

template <class T>
concept umessage_character = std::same_as<T, char> || std::same_as<T, signed char> ||
    std::same_as<T, unsigned char> || std::same_as<T, wchar_t> || std::same_as<T, char8_t> ||
    std::same_as<T, char16_t> || std::same_as<T, char32_t>;

// Signed integer types other than int and std::int64_t (long long on LP64,
// long on LLP64, short): stored as int when they are at most 32 bits wide,
// else as int64, so no call is ambiguous on either data model.
template <class T>
concept umessage_other_signed = std::signed_integral<T> && !umessage_character<T> && !std::same_as<T, int> &&
                                !std::same_as<T, std::int64_t>;

// Unsigned integers and characters have no value type of their own (is 'x'
// a number or a text?); appending one does not compile, callers convert.
template <class T>
concept umessage_rejected = (std::unsigned_integral<T> && !std::same_as<T, bool>) || umessage_character<T>;

class umessage {
 public:
  // The value type codes, also reachable as umessage::type_int etc. (spelled
  // out: GCC 12 fails on `using enum` names inside member templates).
  using type_code = umessage_details::type_code;
  static constexpr type_code type_none = umessage_details::type_none;
  static constexpr type_code type_int = umessage_details::type_int;
  static constexpr type_code type_bool = umessage_details::type_bool;
  static constexpr type_code type_double = umessage_details::type_double;
  static constexpr type_code type_string = umessage_details::type_string;
  static constexpr type_code type_message = umessage_details::type_message;
  static constexpr type_code type_int64 = umessage_details::type_int64;
  using array_type = umessage_details::dyn_array;

  // One entry as seen by iteration.
  struct entry_ref {
    const ustring& name;
    const array_type& array;
  };

  class const_iterator;

  // Where a path leads: the record holding the leaf, the leaf's name and
  // index, and whether the leaf is the "?" piece (then name is "what").
  template <class Record>
  struct basic_path_target {
    Record* record;
    ustring name;
    int index;
    bool is_what;
  };
  using path_target = basic_path_target<umessage>;
  using const_path_target = basic_path_target<const umessage>;

  umessage() = default;
  // A record holding the string entry "what" = kind, even when kind is empty.
  explicit umessage(const ustring& kind);
  // A deep copy of *other, or an empty record when other is null.
  explicit umessage(const umessage* other);
  umessage(const umessage& other);
  umessage(umessage&& other) noexcept = default;
  umessage& operator=(const umessage& other);
  umessage& operator=(umessage&& other) noexcept = default;
  ~umessage();

  void clear() noexcept { entries_.clear(); }
  bool empty() const noexcept { return entries_.empty(); }
  std::size_t size() const noexcept { return entries_.size(); }
  // Room for n entries without reallocation (readers that know the count).
  void reserve(std::size_t n) { entries_.reserve(n); }
  std::vector<ustring> names() const;
  void swap(umessage& other) noexcept { entries_.swap(other.entries_); }
  friend void swap(umessage& a, umessage& b) noexcept { a.swap(b); }

  // Same names in the same order, with equal type codes and equal values;
  // is_array and the order in which entries were added do not matter.
  bool operator==(const umessage& other) const;

  const_iterator begin() const noexcept;
  const_iterator end() const noexcept;
  // The array of the entry, or nullptr when there is none. The pointer is
  // valid until an entry of this record is added or removed.
  const array_type* find(const ustring& name) const;

  // Appending. add creates a missing entry as a single value (is_array
  // false), add_array creates it as an array; on an existing entry both
  // append, which makes it an array. set replaces the entry by the one value.
  // Failures throw as described above and change nothing. A reader restoring
  // a stored is_array flag appends the values of a flagged entry with
  // add_array. Appending under the last name, or a name that sorts after it,
  // costs no search.
  void add(const ustring& name, int value);
  void add(const ustring& name, bool value);
  void add(const ustring& name, double value);
  void add(const ustring& name, ustring value);
  void add(const ustring& name, const char* value);  // null is the empty text
  void add(const ustring& name, std::int64_t value);
  void add(const ustring& name, std::shared_ptr<umessage> value);  // stored as is, shared

  void add_array(const ustring& name, int value);
  void add_array(const ustring& name, bool value);
  void add_array(const ustring& name, double value);
  void add_array(const ustring& name, ustring value);
  void add_array(const ustring& name, const char* value);
  void add_array(const ustring& name, std::int64_t value);
  void add_array(const ustring& name, const umessage& value);  // stores a new shared copy
  void add_array(const ustring& name, umessage&& value);       // stores the moved record

  void set(const ustring& name, int value);
  void set(const ustring& name, bool value);
  void set(const ustring& name, double value);
  void set(const ustring& name, ustring value);
  void set(const ustring& name, const char* value);
  void set(const ustring& name, std::int64_t value);
  void set(const ustring& name, std::shared_ptr<umessage> value);

  template <umessage_other_signed T>
  void add(const ustring& name, T value) {
    add(name, widen(value));
  }
  template <umessage_other_signed T>
  void add_array(const ustring& name, T value) {
    add_array(name, widen(value));
  }
  template <umessage_other_signed T>
  void set(const ustring& name, T value) {
    set(name, widen(value));
  }
  template <umessage_rejected T>
  void add(const ustring& name, T value) = delete;
  template <umessage_rejected T>
  void add_array(const ustring& name, T value) = delete;
  template <umessage_rejected T>
  void set(const ustring& name, T value) = delete;

  // Reading value `index` (zero-based) of an entry. True with out set when a
  // value can be produced, false with out untouched otherwise. Numbers widen
  // and narrow:
  //   int    <- int; double truncated toward zero and clamped to the int
  //             range; int64 keeping its low 32 bits.
  //   double <- double; int exactly; int64 to the nearest double.
  //   int64  <- int64; int; double truncated toward zero and clamped to the
  //             int64 range.
  // A NaN double produces no integer (false). bool and string read only
  // their own type; a record is deep-copied into out, a shared record is
  // the stored one.
  bool get(const ustring& name, std::size_t index, int& out) const;
  bool get(const ustring& name, std::size_t index, double& out) const;
  bool get(const ustring& name, std::size_t index, std::int64_t& out) const;
  bool get(const ustring& name, std::size_t index, bool& out) const;
  bool get(const ustring& name, std::size_t index, ustring& out) const;
  bool get(const ustring& name, std::size_t index, umessage& out) const;
  bool get(const ustring& name, std::size_t index, std::shared_ptr<umessage>& out) const;

  // The read of get, or fallback when it fails: value<int>("n"),
  // value<ustring>("s", 2), value("d", 0, 1.5). The default fallback is 0,
  // 0.0, false, the empty text, an empty record or a null pointer.
  template <umessage_readable T>
  T value(const ustring& name, std::size_t index = 0, T fallback = T{}) const;

  // The string entry "what", empty when absent.
  ustring what() const;
  // Removes "what", then stores kind as "what" unless it is empty.
  void set_what(const ustring& kind);

  // The entry exists, type is type_none or its type code, and index is below
  // its count.
  bool has(const ustring& name, int type = type_none, std::size_t index = 0) const;
  // false with out = 0 when there is no entry, else true with its count.
  bool count(const ustring& name, std::size_t& out) const;
  // The number of values of the entry, 0 when there is none.
  std::size_t count(const ustring& name) const;

  // Removes the entry; nothing happens when there is none.
  void erase(const ustring& name);
  // Removes one value; the entry goes when its last value goes. An index at
  // or past the count changes nothing.
  void erase(const ustring& name, std::size_t index);

  // Paths: pieces separated by '/', empty pieces dropped. A piece is "?" (the
  // record's "what") or a name with an optional index: when the piece's
  // first '[' is at p > 0 and its first ']' at q > p + 1, the name is the
  // text before '[' and the index is read from the text after '[' like atoi
  // (leading white space, sign, digits up to the first non-digit; clamped to
  // the int range instead of overflowing); otherwise the whole piece is the
  // name and the index 0. Every piece but the last must name a nested record
  // by name and index; negative indexes never match.

  // The record holding the leaf and the split leaf; nullopt when the path
  // has no pieces, or an inner piece is "?" or names no nested record.
  std::optional<path_target> find_path(const ustring& path);
  std::optional<const_path_target> find_path(const ustring& path) const;
  // The shared record the path names; null when there is none or the leaf
  // is "?".
  std::shared_ptr<umessage> message_at(const ustring& path) const;
  // A "?" leaf: true with out = 1. Otherwise out = count of the leaf name
  // (0 when the path does not resolve) and true when the leaf index is below
  // it.
  bool has_path(const ustring& path, std::size_t& out) const;
  bool has_path(const ustring& path) const;
  // A "?" leaf clears the kind of the resolved record, any other leaf
  // erases that one value. False when the path does not resolve.
  bool erase_path(const ustring& path);

  // Codecs, implemented with their formats.
  // Writes compact JSON text and flushes the stream.
  void write(std::ostream& out) const;
  // Replaces the record by the JSON text read from in; false on failure.
  bool read(std::istream& in);
  // Writes the flat binary form, version 4 (layout in
  // utils/umessage_serialize.h).
  void flatten(std::ostream& out) const;
  // Replaces the record by the flat form (versions 1 to 4) read from in.
  // Consumes in to its end: the form carries no length, so the stream is
  // taken to hold one form; bytes after it are read but not examined. False
  // on failure, with the record empty and, past the version, an ERROR log
  // record giving the reason. String copies are bounded by a budget of its
  // own for this one form (utils/umessage_serialize.h).
  bool unflatten(std::istream& in);
  // The same, with the string copies charged to `budget`, which the caller
  // shares between the forms of one read; the form's size is added to it.
  bool unflatten(std::istream& in, vxu::flat_string_budget& budget);

 private:
  // The flat reader fills entries_ directly: in name order by appending, and
  // with one sort for forms whose entries arrive out of order.
  friend class umessage_details::flat_reader;

  using entry = umessage_details::entry;

  struct slot {
    std::size_t position;
    bool found;
  };

  template <class T>
  static auto widen(T value) {
    if constexpr (sizeof(T) <= sizeof(std::int32_t))
      return static_cast<int>(value);
    else
      return static_cast<std::int64_t>(value);
  }

  slot locate(std::string_view name) const;
  const array_type* find_array(std::string_view name) const;
  template <class T>
  void append(const ustring& name, T&& value, bool as_array);
  template <class T>
  void replace(const ustring& name, T&& value);
  void append_record(const ustring& name, std::shared_ptr<umessage> value, bool as_array);
  template <class Record>
  static std::optional<basic_path_target<Record>> resolve(Record& root, std::string_view path);

  std::vector<entry> entries_;
};

class umessage::const_iterator {
 public:
  using iterator_category = std::input_iterator_tag;
  using iterator_concept = std::forward_iterator_tag;
  using value_type = entry_ref;
  using reference = entry_ref;
  using difference_type = std::ptrdiff_t;

  const_iterator() = default;
  entry_ref operator*() const { return {it_->first, it_->second.get()}; }
  const_iterator& operator++() {
    ++it_;
    return *this;
  }
  const_iterator operator++(int) {
    const_iterator old = *this;
    ++it_;
    return old;
  }
  bool operator==(const const_iterator&) const = default;

 private:
  friend class umessage;
  explicit const_iterator(std::vector<entry>::const_iterator it) : it_(it) {}
  std::vector<entry>::const_iterator it_;
};

inline umessage::const_iterator umessage::begin() const noexcept { return const_iterator(entries_.begin()); }
inline umessage::const_iterator umessage::end() const noexcept { return const_iterator(entries_.end()); }

template <umessage_readable T>
T umessage::value(const ustring& name, std::size_t index, T fallback) const {
  T out{};
  if (get(name, index, out)) return out;
  return fallback;
}
