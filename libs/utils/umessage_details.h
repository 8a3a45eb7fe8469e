// The value arrays behind the entries of a umessage.
//
// Every entry of a umessage owns one array: an abstract dyn_array that knows
// its type code and value count, and whose concrete class dyn_array_impl<T>
// holds the values in a vector. There are exactly six concrete classes, one
// per value type; their type codes are part of the flat form and keep their
// numbers.
//
// Codecs read an entry's values like this:
//
//   switch (array.type()) {
//     case umessage_details::type_int:
//       for (std::int32_t v : array.as<std::int32_t>()->values) ...
//
// or with `as<T>()` alone, which yields nullptr for an array of another type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

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

  // The concrete array when its elements have type T, else nullptr.
  template <class T>
  const dyn_array_impl<T>* as() const {
    return type() == type_code_of<T> ? static_cast<const dyn_array_impl<T>*>(this) : nullptr;
  }
  template <class T>
  dyn_array_impl<T>* as() {
    return type() == type_code_of<T> ? static_cast<dyn_array_impl<T>*>(this) : nullptr;
  }

  // True when the entry is written as an array even with one value. Set by
  // add_array, by a second value, or by the reader of a form that says so;
  // never cleared.
  bool is_array = false;

 protected:
  dyn_array() = default;
  dyn_array(const dyn_array&) = default;
  dyn_array& operator=(const dyn_array&) = default;
};

template <class T>
class dyn_array_impl final : public dyn_array {
 public:
  static constexpr int code = type_code_of<T>;

  dyn_array_impl() = default;

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

  std::vector<T> values;
};

// The six arrays are instantiated once, in umessage.cpp.
extern template class dyn_array_impl<std::int32_t>;
extern template class dyn_array_impl<bool>;
extern template class dyn_array_impl<double>;
extern template class dyn_array_impl<ustring>;
extern template class dyn_array_impl<std::shared_ptr<umessage>>;
extern template class dyn_array_impl<std::int64_t>;

}  // namespace umessage_details
