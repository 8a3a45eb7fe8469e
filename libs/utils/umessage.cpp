#include "utils/umessage.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "utils/c_numbers.h"

namespace umessage_details {
namespace {

// Element copies for clone: plain values copy, nested records are
// deep-copied so that a cloned array shares nothing with its source.
template <class T>
T deep_copy(const T& value) {
  return value;
}
std::shared_ptr<umessage> deep_copy(const std::shared_ptr<umessage>& value) {
  return std::make_shared<umessage>(*value);
}

// Element equality for equals: doubles exactly, nested records by content.
template <class T>
bool same_value(const T& a, const T& b) {
  return a == b;
}
bool same_value(const std::shared_ptr<umessage>& a, const std::shared_ptr<umessage>& b) { return *a == *b; }

// The values and flag of source into target, an empty array.
template <class T>
void copy_into(dyn_array_impl<T>& target, const dyn_array_impl<T>& source) {
  target.values.reserve(source.values.size());
  for (const auto& value : source.values) target.values.push_back(deep_copy(value));
  target.is_array = source.is_array;
}

}  // namespace

template <class T>
std::unique_ptr<dyn_array> dyn_array_impl<T>::clone() const {
  auto copy = std::make_unique<dyn_array_impl<T>>();
  copy_into(*copy, *this);
  return copy;
}

template <class T>
bool dyn_array_impl<T>::equals(const dyn_array& other) const {
  const auto* that = other.as<T>();
  if (that == nullptr || that->values.size() != values.size()) return false;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (!same_value(values[i], that->values[i])) return false;
  }
  return true;
}

template <class T>
void dyn_array_impl<T>::erase_at(std::size_t index) {
  if (index < values.size()) values.erase(values.begin() + static_cast<std::ptrdiff_t>(index));
}

template class dyn_array_impl<std::int32_t>;
template class dyn_array_impl<bool>;
template class dyn_array_impl<double>;
template class dyn_array_impl<ustring>;
template class dyn_array_impl<std::shared_ptr<umessage>>;
template class dyn_array_impl<std::int64_t>;

array_slot::array_slot(const array_slot& other) : code_(other.code_) {
  if (code_ == type_none) return;
  visit([&](auto* tag) {
    using impl = std::remove_pointer_t<decltype(tag)>;
    auto* copy = ::new (static_cast<void*>(storage_)) impl();
    try {
      copy_into(*copy, other.as_impl<impl>());
    } catch (...) {
      std::destroy_at(copy);
      throw;
    }
  });
}

}  // namespace umessage_details

namespace {

using umessage_details::dyn_array;
using umessage_details::dyn_array_impl;
using shared_record = std::shared_ptr<umessage>;

bool is_valid_name(std::string_view name) {
  return !name.empty() && name.find_first_of("/?") == std::string_view::npos;
}

[[noreturn]] void throw_invalid_name() { throw std::invalid_argument("empty or invalid name"); }
[[noreturn]] void throw_incompatible_type() { throw std::logic_error("incompatible type"); }

// A double truncated toward zero into the integer type I, saturating at the
// ends of its range; NaN has no integer value.
template <class I>
bool truncate_double(double value, I& out) {
  if (std::isnan(value)) return false;
  // 2^31 or 2^63: exactly representable, and the first value past the top.
  const double limit = std::ldexp(1.0, std::numeric_limits<I>::digits);
  const double whole = std::trunc(value);
  if (whole >= limit) {
    out = std::numeric_limits<I>::max();
  } else if (whole < -limit) {
    out = std::numeric_limits<I>::min();
  } else {
    out = static_cast<I>(whole);
  }
  return true;
}

struct split_piece {
  std::string_view name;
  int index;
};

// "name[index]" when the first '[' is at p > 0 and the first ']' at
// q > p + 1; anything else is a plain name with index 0.
split_piece split(std::string_view piece) {
  const std::size_t open = piece.find('[');
  const std::size_t close = piece.find(']');
  if (open != std::string_view::npos && open > 0 && close != std::string_view::npos && close > open + 1) {
    return {piece.substr(0, open), vxu::c_atoi(piece.substr(open + 1))};
  }
  return {piece, 0};
}

}  // namespace

// ---- construction and whole-record operations ----

umessage::umessage(const ustring& kind) { add("what", kind); }

umessage::umessage(const umessage* other) {
  if (other != nullptr) umessage(*other).swap(*this);
}

umessage::umessage(const umessage& other) : entries_(other.entries_) {}

umessage& umessage::operator=(const umessage& other) {
  // Copy first, then swap: a failing copy leaves this record as it was, and
  // assigning a record nested in this one reads it before it can go away.
  if (this != &other) umessage(other).swap(*this);
  return *this;
}

umessage::~umessage() = default;

std::vector<ustring> umessage::names() const {
  std::vector<ustring> result;
  result.reserve(entries_.size());
  for (const auto& e : entries_) result.push_back(e.first);
  return result;
}

bool umessage::operator==(const umessage& other) const {
  if (entries_.size() != other.entries_.size()) return false;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const auto& [name, array] = entries_[i];
    const auto& [other_name, other_array] = other.entries_[i];
    if (name != other_name || array.type() != other_array.type() || array.get().size() != other_array.get().size()) {
      return false;
    }
    if (!array.get().equals(other_array.get())) return false;
  }
  return true;
}

// ---- lookup ----

umessage::slot umessage::locate(std::string_view name) const {
  const std::size_t n = entries_.size();
  if (n == 0) return {0, false};
  // Readers append in name order, so most new names belong at the end.
  const int to_last = name.compare(entries_.back().first.view());
  if (to_last > 0) return {n, false};
  if (to_last == 0) return {n - 1, true};
  const auto last = entries_.end() - 1;
  const auto it = std::lower_bound(entries_.begin(), last, name,
                                   [](const entry& e, std::string_view key) { return e.first.view() < key; });
  return {static_cast<std::size_t>(it - entries_.begin()), it != last && it->first.view() == name};
}

const umessage::array_type* umessage::find_array(std::string_view name) const {
  const slot s = locate(name);
  return s.found ? &entries_[s.position].second.get() : nullptr;
}

const umessage::array_type* umessage::find(const ustring& name) const { return find_array(name.view()); }

// ---- appending ----

// The common append step. Nothing changes unless the value is stored.
template <class T>
void umessage::append(const ustring& name, T&& value, bool as_array) {
  using element = std::decay_t<T>;
  constexpr int code = umessage_details::type_code_of<element>;
  if (code == type_none) throw std::invalid_argument("type is null");

  const slot s = locate(name.view());
  if (s.found) {
    umessage_details::array_slot& slot = entries_[s.position].second;
    if (slot.type() != code) throw_incompatible_type();
    slot.as<element>().append(std::forward<T>(value));
    return;
  }
  if (!is_valid_name(name.view())) throw_invalid_name();
  umessage_details::array_slot slot{std::in_place_type<element>};
  auto& array = slot.as<element>();
  array.append(std::forward<T>(value));
  array.is_array = as_array;
  entries_.emplace(entries_.begin() + static_cast<std::ptrdiff_t>(s.position), name, std::move(slot));
}

// erase(name) then add(name, value), but without losing the old entry when
// the new value cannot be stored.
template <class T>
void umessage::replace(const ustring& name, T&& value) {
  const slot s = locate(name.view());
  if (!s.found) {
    append(name, std::forward<T>(value), false);
    return;
  }
  umessage_details::array_slot slot{std::in_place_type<std::decay_t<T>>};
  slot.as<std::decay_t<T>>().append(std::forward<T>(value));
  entries_[s.position].second = std::move(slot);
}

void umessage::append_record(const ustring& name, shared_record value, bool as_array) {
  if (value == nullptr) throw std::invalid_argument("record is null");
  append(name, std::move(value), as_array);
}

namespace {
ustring c_text(const char* text) { return text != nullptr ? ustring(text) : ustring(); }
}  // namespace

void umessage::add(const ustring& name, int value) { append(name, std::int32_t{value}, false); }
void umessage::add(const ustring& name, bool value) { append(name, bool{value}, false); }
void umessage::add(const ustring& name, double value) { append(name, double{value}, false); }
void umessage::add(const ustring& name, ustring value) { append(name, std::move(value), false); }
void umessage::add(const ustring& name, const char* value) { append(name, c_text(value), false); }
void umessage::add(const ustring& name, std::int64_t value) { append(name, std::int64_t{value}, false); }
void umessage::add(const ustring& name, shared_record value) { append_record(name, std::move(value), false); }

void umessage::add_array(const ustring& name, int value) { append(name, std::int32_t{value}, true); }
void umessage::add_array(const ustring& name, bool value) { append(name, bool{value}, true); }
void umessage::add_array(const ustring& name, double value) { append(name, double{value}, true); }
void umessage::add_array(const ustring& name, ustring value) { append(name, std::move(value), true); }
void umessage::add_array(const ustring& name, const char* value) { append(name, c_text(value), true); }
void umessage::add_array(const ustring& name, std::int64_t value) { append(name, std::int64_t{value}, true); }
void umessage::add_array(const ustring& name, const umessage& value) {
  append_record(name, std::make_shared<umessage>(value), true);
}
void umessage::add_array(const ustring& name, umessage&& value) {
  append_record(name, std::make_shared<umessage>(std::move(value)), true);
}

void umessage::set(const ustring& name, int value) { replace(name, std::int32_t{value}); }
void umessage::set(const ustring& name, bool value) { replace(name, bool{value}); }
void umessage::set(const ustring& name, double value) { replace(name, double{value}); }
void umessage::set(const ustring& name, ustring value) { replace(name, std::move(value)); }
void umessage::set(const ustring& name, const char* value) { replace(name, c_text(value)); }
void umessage::set(const ustring& name, std::int64_t value) { replace(name, std::int64_t{value}); }
void umessage::set(const ustring& name, shared_record value) {
  if (value == nullptr) throw std::invalid_argument("record is null");
  replace(name, std::move(value));
}

// ---- reading ----

bool umessage::get(const ustring& name, std::size_t index, int& out) const {
  const array_type* array = find_array(name.view());
  if (array == nullptr || index >= array->size()) return false;
  switch (array->code()) {
    case type_int:
      out = array->as<std::int32_t>()->values[index];
      return true;
    case type_double:
      return truncate_double(array->as<double>()->values[index], out);
    case type_int64:
      // Keeps the low 32 bits (modular conversion).
      out = static_cast<std::int32_t>(array->as<std::int64_t>()->values[index]);
      return true;
    default:
      return false;
  }
}

bool umessage::get(const ustring& name, std::size_t index, double& out) const {
  const array_type* array = find_array(name.view());
  if (array == nullptr || index >= array->size()) return false;
  switch (array->code()) {
    case type_double:
      out = array->as<double>()->values[index];
      return true;
    case type_int:
      out = array->as<std::int32_t>()->values[index];
      return true;
    case type_int64:
      out = static_cast<double>(array->as<std::int64_t>()->values[index]);
      return true;
    default:
      return false;
  }
}

bool umessage::get(const ustring& name, std::size_t index, std::int64_t& out) const {
  const array_type* array = find_array(name.view());
  if (array == nullptr || index >= array->size()) return false;
  switch (array->code()) {
    case type_int64:
      out = array->as<std::int64_t>()->values[index];
      return true;
    case type_int:
      out = array->as<std::int32_t>()->values[index];
      return true;
    case type_double:
      return truncate_double(array->as<double>()->values[index], out);
    default:
      return false;
  }
}

namespace {
// The element at index of an entry of exactly type T, or nullptr.
template <class T>
const T* element_at(const umessage::array_type* array, std::size_t index) {
  if (array == nullptr) return nullptr;
  const auto* typed = array->as<T>();
  return typed != nullptr && index < typed->values.size() ? &typed->values[index] : nullptr;
}
}  // namespace

bool umessage::get(const ustring& name, std::size_t index, bool& out) const {
  const bool* value = element_at<bool>(find_array(name.view()), index);
  if (value == nullptr) return false;
  out = *value;
  return true;
}

bool umessage::get(const ustring& name, std::size_t index, ustring& out) const {
  const ustring* value = element_at<ustring>(find_array(name.view()), index);
  if (value == nullptr) return false;
  out = *value;
  return true;
}

bool umessage::get(const ustring& name, std::size_t index, umessage& out) const {
  const shared_record* value = element_at<shared_record>(find_array(name.view()), index);
  if (value == nullptr) return false;
  out = **value;
  return true;
}

bool umessage::get(const ustring& name, std::size_t index, shared_record& out) const {
  const shared_record* value = element_at<shared_record>(find_array(name.view()), index);
  if (value == nullptr) return false;
  out = *value;
  return true;
}

ustring umessage::what() const { return value<ustring>("what"); }

void umessage::set_what(const ustring& kind) {
  erase("what");
  if (!kind.empty()) add("what", kind);
}

bool umessage::has(const ustring& name, int type, std::size_t index) const {
  const array_type* array = find_array(name.view());
  return array != nullptr && (type == type_none || type == array->code()) && index < array->size();
}

bool umessage::count(const ustring& name, std::size_t& out) const {
  const array_type* array = find_array(name.view());
  out = array != nullptr ? array->size() : 0;
  return array != nullptr;
}

std::size_t umessage::count(const ustring& name) const {
  std::size_t n = 0;
  count(name, n);
  return n;
}

// ---- removing ----

void umessage::erase(const ustring& name) {
  const slot s = locate(name.view());
  if (s.found) entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(s.position));
}

void umessage::erase(const ustring& name, std::size_t index) {
  const slot s = locate(name.view());
  if (!s.found) return;
  const auto position = entries_.begin() + static_cast<std::ptrdiff_t>(s.position);
  dyn_array& array = position->second.get();
  array.erase_at(index);
  if (array.size() == 0) entries_.erase(position);
}

// ---- paths ----

template <class Record>
std::optional<umessage::basic_path_target<Record>> umessage::resolve(Record& root, std::string_view path) {
  Record* current = &root;
  std::string_view pending;  // the latest non-empty piece, still unresolved
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t stop = path.find('/', start);
    if (stop == std::string_view::npos) stop = path.size();
    const std::string_view piece = path.substr(start, stop - start);
    start = stop + 1;
    if (piece.empty()) continue;
    if (!pending.empty()) {
      // An inner piece: it must name a nested record.
      if (pending == "?") return std::nullopt;
      const split_piece inner = split(pending);
      if (inner.index < 0) return std::nullopt;
      const shared_record* next =
          element_at<shared_record>(current->find_array(inner.name), static_cast<std::size_t>(inner.index));
      if (next == nullptr) return std::nullopt;
      current = next->get();
    }
    pending = piece;
  }
  if (pending.empty()) return std::nullopt;
  if (pending == "?") return basic_path_target<Record>{current, ustring("what"), 0, true};
  const split_piece leaf = split(pending);
  return basic_path_target<Record>{current, ustring(leaf.name.data(), leaf.name.size()), leaf.index, false};
}

std::optional<umessage::path_target> umessage::find_path(const ustring& path) {
  return resolve(*this, path.view());
}

std::optional<umessage::const_path_target> umessage::find_path(const ustring& path) const {
  return resolve(*this, path.view());
}

std::shared_ptr<umessage> umessage::message_at(const ustring& path) const {
  const auto target = find_path(path);
  if (!target || target->is_what || target->index < 0) return nullptr;
  const shared_record* value = element_at<shared_record>(target->record->find_array(target->name.view()),
                                                         static_cast<std::size_t>(target->index));
  return value != nullptr ? *value : nullptr;
}

bool umessage::has_path(const ustring& path, std::size_t& out) const {
  out = 0;
  const auto target = find_path(path);
  if (!target) return false;
  if (target->is_what) {
    out = 1;
    return true;
  }
  target->record->count(target->name, out);
  return target->index >= 0 && static_cast<std::size_t>(target->index) < out;
}

bool umessage::has_path(const ustring& path) const {
  std::size_t n = 0;
  return has_path(path, n);
}

bool umessage::erase_path(const ustring& path) {
  const auto target = find_path(path);
  if (!target) return false;
  if (target->is_what) {
    target->record->set_what(ustring());
  } else if (target->index >= 0) {
    target->record->erase(target->name, static_cast<std::size_t>(target->index));
  }
  return true;
}
