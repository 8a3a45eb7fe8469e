// USmallVector<T, N>: a vector that keeps up to N elements inside the object
// and moves them to one heap block only when an (N + 1)-th arrives.
//
// It has the member interface of std::vector that callers of a sequence of
// values need (push_back / emplace_back, insert / emplace, erase, resize,
// reserve, assign, element access, iterators, comparisons), with plain
// elements for every T (a USmallVector<bool> holds real bools whose
// addresses can be taken, not std::vector<bool>'s proxies).
//
// Contracts a caller may rely on:
// - No allocation while size() stays at or below N. Once on the heap the
//   elements stay there (clear and erase keep the capacity) until the
//   vector is destroyed, moved from or assigned from a vector held inline.
// - Iterators are plain pointers, invalidated like std::vector's: by any
//   operation that grows the capacity, and past the point of an insert or
//   erase. Moving a vector whose elements are inline invalidates them too
//   (they move with the object); a vector moved from is empty.
// - At most max_size() (2^32 - 1) elements: growing past it throws
//   std::length_error("USmallVector"); at() past the end throws
//   std::out_of_range("USmallVector").
// - Operations that add elements give the strong guarantee when they add
//   one element; T must be nothrow move constructible (elements are moved
//   when the storage grows and when an inline vector is moved).
// - Compares equal (==, <=>) with another USmallVector of any inline size,
//   or with a std::vector, element by element.
#pragma once

#include <algorithm>
#include <compare>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

template <class T, std::size_t N>
class USmallVector {
  static_assert(N > 0, "USmallVector needs room for at least one element");
  static_assert(std::is_nothrow_move_constructible_v<T>, "USmallVector moves its elements without a fallback");

 public:
  using value_type = T;
  using size_type = std::size_t;
  using difference_type = std::ptrdiff_t;
  using reference = T&;
  using const_reference = const T&;
  using pointer = T*;
  using const_pointer = const T*;
  using iterator = T*;
  using const_iterator = const T*;
  using reverse_iterator = std::reverse_iterator<iterator>;
  using const_reverse_iterator = std::reverse_iterator<const_iterator>;

  static constexpr size_type inline_capacity = N;

  USmallVector() noexcept : data_(inline_data()) {}
  explicit USmallVector(size_type n) : USmallVector() { resize(n); }
  USmallVector(size_type n, const T& value) : USmallVector() { assign(n, value); }
  template <std::input_iterator It>
  USmallVector(It first, It last) : USmallVector() {
    assign(first, last);
  }
  USmallVector(std::initializer_list<T> values) : USmallVector() { assign(values.begin(), values.end()); }
  USmallVector(const USmallVector& other) : USmallVector() {
    if (copy_inline(other)) return;
    assign(other.begin(), other.end());
  }
  USmallVector(USmallVector&& other) noexcept : USmallVector() { take(other); }
  ~USmallVector() {
    destroy_all();
    release();
  }

  USmallVector& operator=(const USmallVector& other) {
    if (this != &other) assign(other.begin(), other.end());
    return *this;
  }
  USmallVector& operator=(USmallVector&& other) noexcept {
    if (this != &other) {
      destroy_all();
      release();
      take(other);
    }
    return *this;
  }
  USmallVector& operator=(std::initializer_list<T> values) {
    assign(values.begin(), values.end());
    return *this;
  }

  void assign(size_type n, const T& value) {
    if (n > capacity()) {
      USmallVector fresh;
      fresh.reserve(n);
      while (fresh.size_ < n) fresh.push_back(value);
      *this = std::move(fresh);
      return;
    }
    // value may be one of the elements: fill the common part first.
    const size_type common = std::min<size_type>(n, size_);
    std::fill(data_, data_ + common, value);
    if (n > size_) {
      std::uninitialized_fill(data_ + size_, data_ + n, value);
      size_ = static_cast<std::uint32_t>(n);
    }
    shrink_to(n);
  }
  template <std::input_iterator It>
  void assign(It first, It last) {
    clear();
    if constexpr (std::forward_iterator<It>) reserve(static_cast<size_type>(std::distance(first, last)));
    for (; first != last; ++first) emplace_back(*first);
  }
  void assign(std::initializer_list<T> values) { assign(values.begin(), values.end()); }

  // ---- element access ----
  reference at(size_type i) {
    if (i >= size_) throw std::out_of_range("USmallVector");
    return data_[i];
  }
  const_reference at(size_type i) const {
    if (i >= size_) throw std::out_of_range("USmallVector");
    return data_[i];
  }
  reference operator[](size_type i) noexcept { return data_[i]; }
  const_reference operator[](size_type i) const noexcept { return data_[i]; }
  reference front() noexcept { return data_[0]; }
  const_reference front() const noexcept { return data_[0]; }
  reference back() noexcept { return data_[size_ - 1]; }
  const_reference back() const noexcept { return data_[size_ - 1]; }
  T* data() noexcept { return data_; }
  const T* data() const noexcept { return data_; }

  // ---- iterators ----
  iterator begin() noexcept { return data_; }
  const_iterator begin() const noexcept { return data_; }
  const_iterator cbegin() const noexcept { return data_; }
  iterator end() noexcept { return data_ + size_; }
  const_iterator end() const noexcept { return data_ + size_; }
  const_iterator cend() const noexcept { return data_ + size_; }
  reverse_iterator rbegin() noexcept { return reverse_iterator(end()); }
  const_reverse_iterator rbegin() const noexcept { return const_reverse_iterator(end()); }
  const_reverse_iterator crbegin() const noexcept { return const_reverse_iterator(end()); }
  reverse_iterator rend() noexcept { return reverse_iterator(begin()); }
  const_reverse_iterator rend() const noexcept { return const_reverse_iterator(begin()); }
  const_reverse_iterator crend() const noexcept { return const_reverse_iterator(begin()); }

  // ---- capacity ----
  [[nodiscard]] bool empty() const noexcept { return size_ == 0; }
  size_type size() const noexcept { return size_; }
  size_type capacity() const noexcept { return capacity_; }
  static constexpr size_type max_size() noexcept { return std::uint32_t(-1); }
  void reserve(size_type n) {
    if (n > capacity_) regrow(n);
  }
  // True while the elements live inside the object.
  bool is_inline() const noexcept { return data_ == inline_data(); }

  // ---- modifiers ----
  void clear() noexcept { shrink_to(0); }

  void push_back(const T& value) { emplace_back(value); }
  void push_back(T&& value) { emplace_back(std::move(value)); }
  template <class... Args>
  reference emplace_back(Args&&... args) {
    if (size_ == capacity_) return grow_and_emplace_back(std::forward<Args>(args)...);
    T* slot = ::new (static_cast<void*>(data_ + size_)) T(std::forward<Args>(args)...);
    ++size_;
    return *slot;
  }
  void pop_back() noexcept {
    --size_;
    std::destroy_at(data_ + size_);
  }

  template <class... Args>
  iterator emplace(const_iterator position, Args&&... args) {
    const auto offset = position - cbegin();
    emplace_back(std::forward<Args>(args)...);
    std::rotate(begin() + offset, end() - 1, end());
    return begin() + offset;
  }
  iterator insert(const_iterator position, const T& value) { return emplace(position, value); }
  iterator insert(const_iterator position, T&& value) { return emplace(position, std::move(value)); }

  iterator erase(const_iterator position) { return erase(position, position + 1); }
  iterator erase(const_iterator first, const_iterator last) {
    iterator target = begin() + (first - cbegin());
    if (first != last) shrink_to(static_cast<size_type>(std::move(target + (last - first), end(), target) - data_));
    return target;
  }

  void resize(size_type n) {
    reserve(n);
    while (size_ < n) emplace_back();
    shrink_to(n);
  }
  void resize(size_type n, const T& value) {
    if (n > size_) {
      const T copy = value;  // value may be an element, gone once the storage grows
      reserve(n);
      while (size_ < n) push_back(copy);
    }
    shrink_to(n);
  }

  void swap(USmallVector& other) noexcept {
    USmallVector held(std::move(other));
    other = std::move(*this);
    *this = std::move(held);
  }
  friend void swap(USmallVector& a, USmallVector& b) noexcept { a.swap(b); }

  // ---- comparisons ----
  template <std::size_t M>
    requires std::equality_comparable<T>
  friend bool operator==(const USmallVector& a, const USmallVector<T, M>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
  }
  template <class Allocator>
    requires std::equality_comparable<T>
  friend bool operator==(const USmallVector& a, const std::vector<T, Allocator>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
  }
  template <std::size_t M>
    requires std::three_way_comparable<T> || requires(const T& x) {
      { x < x } -> std::convertible_to<bool>;
    }
  friend auto operator<=>(const USmallVector& a, const USmallVector<T, M>& b) {
    return std::lexicographical_compare_three_way(a.begin(), a.end(), b.begin(), b.end(),
                                                  [](const T& x, const T& y) { return synth_three_way(x, y); });
  }

 private:
  // <=> where T has it, else built from <, as the standard containers do.
  template <class U = T>
  static auto synth_three_way(const U& a, const U& b) {
    if constexpr (std::three_way_comparable<U>) {
      return a <=> b;
    } else {
      if (a < b) return std::weak_ordering::less;
      if (b < a) return std::weak_ordering::greater;
      return std::weak_ordering::equivalent;
    }
  }

  T* inline_data() noexcept { return std::launder(reinterpret_cast<T*>(inline_)); }
  const T* inline_data() const noexcept { return std::launder(reinterpret_cast<const T*>(inline_)); }

  static size_type checked(size_type n) {
    if (n > max_size()) throw std::length_error("USmallVector");
    return n;
  }
  size_type grown_capacity(size_type least) const {
    return checked(std::max<size_type>(least, std::min<size_type>(2 * size_type{capacity_}, max_size())));
  }

  void destroy_all() noexcept { shrink_to(0); }
  void shrink_to(size_type n) noexcept {
    if (n < size_) {
      std::destroy(data_ + n, data_ + size_);
      size_ = static_cast<std::uint32_t>(n);
    }
  }
  // Frees the heap block, if any, leaving the vector empty and inline. The
  // elements must have been destroyed.
  void release() noexcept {
    if (!is_inline()) std::allocator<T>().deallocate(data_, capacity_);
    data_ = inline_data();
    capacity_ = N;
  }
  // Moves the elements into a block of n elements (n > capacity).
  void regrow(size_type n) {
    T* block = std::allocator<T>().allocate(checked(n));
    adopt(block, n);
  }
  void adopt(T* block, size_type n) noexcept {
    std::uninitialized_move(data_, data_ + size_, block);
    std::destroy(data_, data_ + size_);
    if (!is_inline()) std::allocator<T>().deallocate(data_, capacity_);
    data_ = block;
    capacity_ = static_cast<std::uint32_t>(n);
  }
  template <class... Args>
  reference grow_and_emplace_back(Args&&... args) {
    const size_type n = grown_capacity(size_type{size_} + 1);
    T* block = std::allocator<T>().allocate(n);
    T* slot;
    try {
      // Built before the move: args may refer to an element.
      slot = ::new (static_cast<void*>(block + size_)) T(std::forward<Args>(args)...);
    } catch (...) {
      std::allocator<T>().deallocate(block, n);
      throw;
    }
    adopt(block, n);
    ++size_;
    return *slot;
  }
  // For plain values held inline: the whole inline room copied at once (a
  // fixed-size copy, cheaper than one per element). this is empty and inline.
  bool copy_inline(const USmallVector& other) noexcept {
    if constexpr (std::is_trivially_copyable_v<T>) {
      if (other.size_ <= N) {
        std::memcpy(inline_, other.data_, sizeof inline_);
        size_ = other.size_;
        return true;
      }
    }
    return false;
  }
  // Takes other's elements, leaving it empty (this is empty and inline).
  void take(USmallVector& other) noexcept {
    if (copy_inline(other)) {
      other.size_ = 0;
      return;
    }
    if (other.is_inline()) {
      std::uninitialized_move(other.data_, other.data_ + other.size_, data_);
      size_ = other.size_;
      other.destroy_all();
      return;
    }
    data_ = other.data_;
    size_ = other.size_;
    capacity_ = other.capacity_;
    other.data_ = other.inline_data();
    other.size_ = 0;
    other.capacity_ = N;
  }

  T* data_;
  std::uint32_t size_ = 0;
  std::uint32_t capacity_ = N;
  alignas(T) unsigned char inline_[N * sizeof(T)];
};
