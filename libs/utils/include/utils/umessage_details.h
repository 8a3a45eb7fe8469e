// The value arrays behind the entries of a umessage.
//
// Every entry of a umessage owns one array: an abstract dyn_array that knows
// its type code and value count, and whose concrete class dyn_array_impl<T>
// holds the values. There are exactly six concrete classes, one per value
// type; their type codes are part of the flat form and keep their numbers.
//
// Codecs read an entry's values like this:
//
//   switch (array.code()) {            // type() without a virtual call
//     case umessage_details::type_int:
//       for (std::int32_t v : array.as<std::int32_t>()->values) ...
//
// or with `as<T>()` alone, which yields nullptr for an array of another type.
//
// Storage: a record keeps each entry's array in place inside its entry
// vector (array_slot), and `values` keeps the first few values inside the
// array (USmallVector), so the common entry of one value costs no heap
// block of its own. Consequently the address of an array, like a reference
// to one of its values, holds only until the record's set of entries changes
// (an entry added or removed) or the record is copied over; nested records
// live in shared blocks of their own and never move.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

#include "utils/USmallVector.h"
#include "utils/ustring.h"

class umessage;

namespace umessage_details {

// Value type codes. The numbers appear in the flat form; type_none is never
// stored in a record.
enum type_code : int {
  type_none = 0,
  type_int = 1,
  type_bool = 2,
  type_double = 3,
  type_string = 4,
  type_message = 5,
  type_int64 = 6,
};

// type_code_of<T>: the code of the array whose elements have type T. Only the
// six element types have one.
template <class T>
struct type_code_for;
template <>
struct type_code_for<std::int32_t> : std::integral_constant<int, type_int> {};
template <>
struct type_code_for<bool> : std::integral_constant<int, type_bool> {};
template <>
struct type_code_for<double> : std::integral_constant<int, type_double> {};
template <>
struct type_code_for<ustring> : std::integral_constant<int, type_string> {};
template <>
struct type_code_for<std::shared_ptr<umessage>> : std::integral_constant<int, type_message> {};
template <>
struct type_code_for<std::int64_t> : std::integral_constant<int, type_int64> {};

template <class T>
inline constexpr int type_code_of = type_code_for<T>::value;

template <class T>
class dyn_array_impl;

// Bytes of values an array holds without a heap block: one string or one
// shared record, three doubles or int64s, six ints.
inline constexpr std::size_t inline_value_bytes = 24;

// The values of an entry of element type T.
template <class T>
using value_vector = USmallVector<T, std::max<std::size_t>(1, inline_value_bytes / sizeof(T))>;

// The values of one entry: one or more values of one type.
class dyn_array {
 public:
  virtual ~dyn_array() = default;

  // The type code of the values (never type_none).
  virtual int type() const = 0;
  // A new array with the same type, values and is_array flag; nested records
  // are deep-copied, each into a new shared record.
  virtual std::unique_ptr<dyn_array> clone() const = 0;
  virtual std::size_t size() const = 0;
  // Same type and element-wise equal values (nested records by record
  // equality, doubles exactly); is_array is not compared.
  virtual bool equals(const dyn_array& other) const = 0;
  // Removes the value at index; an index at or past size() changes nothing.
  virtual void erase_at(std::size_t index) = 0;

  // What type() returns, without a virtual call: codecs that switch on the
  // type of every entry use this.
  int code() const noexcept { return code_; }

  // The concrete array when its elements have type T, else nullptr.
  template <class T>
  const dyn_array_impl<T>* as() const {
    return code_ == type_code_of<T> ? static_cast<const dyn_array_impl<T>*>(this) : nullptr;
  }
  template <class T>
  dyn_array_impl<T>* as() {
    return code_ == type_code_of<T> ? static_cast<dyn_array_impl<T>*>(this) : nullptr;
  }

  // True when the entry is written as an array even with one value. Set by
  // add_array, by a second value, or by the reader of a form that says so;
  // never cleared.
  bool is_array = false;

 protected:
  explicit dyn_array(int code) noexcept : code_(static_cast<std::uint8_t>(code)) {}
  dyn_array(const dyn_array&) = default;
  dyn_array& operator=(const dyn_array&) = default;

 private:
  std::uint8_t code_;  // the type code, fixed at construction
};

template <class T>
class dyn_array_impl final : public dyn_array {
 public:
  static constexpr int code = type_code_of<T>;

  dyn_array_impl() noexcept : dyn_array(code) {}

  int type() const override { return code; }
  std::unique_ptr<dyn_array> clone() const override;
  std::size_t size() const override { return values.size(); }
  bool equals(const dyn_array& other) const override;
  void erase_at(std::size_t index) override;

  // Appends one value; a second value turns the entry into an array.
  template <class V>
  void append(V&& value) {
    values.push_back(std::forward<V>(value));
    if (values.size() > 1) is_array = true;
  }

  value_vector<T> values;
};

// The six arrays are instantiated once, in umessage.cpp.
extern template class dyn_array_impl<std::int32_t>;
extern template class dyn_array_impl<bool>;
extern template class dyn_array_impl<double>;
extern template class dyn_array_impl<ustring>;
extern template class dyn_array_impl<std::shared_ptr<umessage>>;
extern template class dyn_array_impl<std::int64_t>;

// One entry's array held in place: one of the six dyn_array_impl<T>, chosen
// by its type code when the slot is made. Copying a slot deep-copies it like
// clone (nested records each into a new shared record). Moving relocates the
// array: the slot moved from holds none afterwards and may only be assigned
// to or destroyed (which then costs a test, not a call).
class array_slot {
 private:
  // Defined first: the members below deduce their results from visit.
  template <class Impl>
  Impl& as_impl() noexcept {
    return *std::launder(reinterpret_cast<Impl*>(storage_));
  }
  template <class Impl>
  const Impl& as_impl() const noexcept {
    return *std::launder(reinterpret_cast<const Impl*>(storage_));
  }
  // Calls f with a null pointer to the held dyn_array_impl type.
  template <class F>
  decltype(auto) visit(F&& f) {
    switch (code_) {
      case type_int: return f(static_cast<dyn_array_impl<std::int32_t>*>(nullptr));
      case type_bool: return f(static_cast<dyn_array_impl<bool>*>(nullptr));
      case type_double: return f(static_cast<dyn_array_impl<double>*>(nullptr));
      case type_string: return f(static_cast<dyn_array_impl<ustring>*>(nullptr));
      case type_message: return f(static_cast<dyn_array_impl<std::shared_ptr<umessage>>*>(nullptr));
      default: return f(static_cast<dyn_array_impl<std::int64_t>*>(nullptr));
    }
  }
  void destroy() noexcept {
    if (code_ == type_none) return;
    visit([&](auto* tag) { std::destroy_at(&as_impl<std::remove_pointer_t<decltype(tag)>>()); });
  }
  // Moves the array of other (which holds one) here, where none is, and
  // leaves other without one.
  void relocate_from(array_slot& other) noexcept {
    code_ = other.code_;
    visit([&](auto* tag) {
      using impl = std::remove_pointer_t<decltype(tag)>;
      impl& source = other.as_impl<impl>();
      ::new (static_cast<void*>(storage_)) impl(std::move(source));
      std::destroy_at(&source);
    });
    other.code_ = type_none;
  }

 public:
  template <class T>
  explicit array_slot(std::in_place_type_t<T>) noexcept : code_(static_cast<std::uint8_t>(type_code_of<T>)) {
    ::new (static_cast<void*>(storage_)) dyn_array_impl<T>();
  }
  array_slot(const array_slot& other);  // in umessage.cpp: copies nested records
  array_slot(array_slot&& other) noexcept : code_(type_none) {
    if (other.code_ != type_none) relocate_from(other);
  }
  array_slot& operator=(const array_slot& other) {
    if (this != &other) *this = array_slot(other);
    return *this;
  }
  array_slot& operator=(array_slot&& other) noexcept {
    if (this != &other) {
      destroy();
      code_ = type_none;
      if (other.code_ != type_none) relocate_from(other);
    }
    return *this;
  }
  ~array_slot() { destroy(); }

  int type() const noexcept { return code_; }
  dyn_array& get() noexcept {
    return visit([&](auto* tag) -> dyn_array& { return as_impl<std::remove_pointer_t<decltype(tag)>>(); });
  }
  const dyn_array& get() const noexcept { return const_cast<array_slot*>(this)->get(); }

  // The array as dyn_array_impl<T>; the slot must hold T values.
  template <class T>
  dyn_array_impl<T>& as() noexcept {
    return as_impl<dyn_array_impl<T>>();
  }
  template <class T>
  const dyn_array_impl<T>& as() const noexcept {
    return const_cast<array_slot*>(this)->as<T>();
  }

 private:
  static constexpr std::size_t size = std::max({sizeof(dyn_array_impl<std::int32_t>), sizeof(dyn_array_impl<bool>),
                                                sizeof(dyn_array_impl<double>), sizeof(dyn_array_impl<ustring>),
                                                sizeof(dyn_array_impl<std::shared_ptr<umessage>>),
                                                sizeof(dyn_array_impl<std::int64_t>)});
  static constexpr std::size_t alignment =
      std::max({alignof(dyn_array_impl<std::int32_t>), alignof(dyn_array_impl<bool>),
                alignof(dyn_array_impl<double>), alignof(dyn_array_impl<ustring>),
                alignof(dyn_array_impl<std::shared_ptr<umessage>>), alignof(dyn_array_impl<std::int64_t>)});

  alignas(alignment) unsigned char storage_[size];
  std::uint8_t code_;
};

// An entry of a record: its name and its array.
using entry = std::pair<ustring, array_slot>;

}  // namespace umessage_details
