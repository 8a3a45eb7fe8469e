#include "utils/UKeyStream.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>

namespace {

constexpr unsigned char kLongLength = 0xFF;
// Items up to this many fields look for a repeated key by a plain scan; longer
// ones (only hostile or unusual input has them) use a bitmap of all keys, so
// indexing an item stays linear in its size.
constexpr std::size_t kLinearKeyCheck = 16;
constexpr std::size_t kKeyBitmapWords = 65536 / 64;
constexpr std::size_t kInitialIndex = 10;

[[noreturn]] void throw_error(const char* text) { throw std::runtime_error(text); }

}  // namespace

UKeyInStream::UKeyInStream(std::istream& input) {
  buffer_ = input.rdbuf();
  if (buffer_ != nullptr && !input.fail()) {
    const std::streampos bad(std::streamoff(-1));
    const std::streampos here = buffer_->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
    if (here != bad) {
      const std::streampos end = buffer_->pubseekoff(0, std::ios_base::end, std::ios_base::in);
      if (end != bad && end >= here) {
        base_ = std::streamoff(here);
        size_ = static_cast<std::uint64_t>(std::streamoff(end) - std::streamoff(here));
      }
      buffer_->pubseekpos(here, std::ios_base::in);
    }
  }

  unsigned char head[7];
  std::size_t got = 0;
  const unsigned char* p = peek(0, static_cast<std::size_t>(std::min<std::uint64_t>(7, size_)), got);
  got = static_cast<std::size_t>(std::min<std::uint64_t>(got, 7));
  if (got < 2 || ((p[0] << 8) | p[1]) != kMetaKey) throw_error("UKeyInStream: meta key mismatch");
  if (got < 3) throw_error("UKeyInStream: expecting record");
  std::memcpy(head, p, got);
  std::uint64_t length = head[2];
  std::uint64_t start = 3;
  if (length == kLongLength) {
    if (got < 7) throw_error("UKeyInStream: expecting record");
    length = (std::uint64_t{head[3]} << 24) | (head[4] << 16) | (head[5] << 8) | head[6];
    start = 7;
  }
  unsigned char type = 0;
  if (fetch(start, &type, 1) != 1 || type != eFieldType_Record) throw_error("UKeyInStream: expecting record");
  ++start;

  // A meta record that claims more than the input holds ends with the input:
  // every field wholly inside a truncated stream stays readable.
  Frame& meta = frames_[0];
  meta.start = meta.cursor = start;
  meta.end = std::min(start + length, size_);
  meta.keyed = true;

  // The header fields are looked at without moving the cursor, so that they
  // stay visible to select.
  Entry field;
  std::uint64_t pos = start;
  bool found = parse_field(pos, meta.end, true, field);
  if (found && field.key == kIdKey) found = parse_field(pos, meta.end, true, field);
  if (found && field.key == kCodeKey) {
    if (field.length > 4) throw_error("UKeyInStream: reading field longer than expected");
    std::uint32_t value = 0;
    for (std::uint32_t i = 0; i < field.length; ++i) value = (value << 8) | field.small[i];
    code_ = static_cast<std::int32_t>(value);
  }
}

UKeyInStream::~UKeyInStream() = default;

// ---------------------------------------------------------------------------
// Input access. Positions count from the stream's first byte; nothing at or
// past size_ is ever requested from the stream buffer.

const unsigned char* UKeyInStream::refill(std::uint64_t pos, std::size_t& got) {
  window_start_ = pos;
  window_length_ = 0;
  if (pos < size_) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kWindowSize, size_ - pos));
    const std::streampos at(static_cast<std::streamoff>(base_ + static_cast<std::int64_t>(pos)));
    if (buffer_->pubseekpos(at, std::ios_base::in) == at) {
      const std::streamsize read = buffer_->sgetn(reinterpret_cast<char*>(window_), static_cast<std::streamsize>(n));
      window_length_ = read > 0 ? static_cast<std::size_t>(read) : 0;
    }
    // The input turned out shorter than it said: believe what it holds.
    if (window_length_ < n) size_ = pos + window_length_;
  }
  got = window_length_;
  return window_;
}

inline const unsigned char* UKeyInStream::peek(std::uint64_t pos, std::size_t need, std::size_t& got) {
  if (pos >= window_start_) {
    const std::uint64_t offset = pos - window_start_;
    if (offset + need <= window_length_) {
      got = window_length_ - static_cast<std::size_t>(offset);
      return window_ + offset;
    }
  }
  return refill(pos, got);
}

std::size_t UKeyInStream::fetch(std::uint64_t pos, void* out, std::size_t n) {
  if (n == 0) return 0;
  if (n <= kWindowSize) {
    std::size_t got = 0;
    const unsigned char* p = peek(pos, n, got);
    got = std::min(got, n);
    if (got > 0) std::memcpy(out, p, got);
    return got;
  }
  // Long data goes straight to its destination; the window stays as it is.
  if (pos >= size_) return 0;
  const std::size_t n_in = static_cast<std::size_t>(std::min<std::uint64_t>(n, size_ - pos));
  const std::streampos at(static_cast<std::streamoff>(base_ + static_cast<std::int64_t>(pos)));
  if (buffer_->pubseekpos(at, std::ios_base::in) != at) return 0;
  const std::streamsize read = buffer_->sgetn(static_cast<char*>(out), static_cast<std::streamsize>(n_in));
  return read > 0 ? static_cast<std::size_t>(read) : 0;
}

inline bool UKeyInStream::parse_field(std::uint64_t& pos, std::uint64_t end, bool keyed, Entry& e) {
  if (pos >= end) return false;
  // Key, 5-byte length, type and up to 8 data bytes: 16 bytes at most.
  constexpr std::size_t kLongest = 16;
  const std::uint64_t left = end - pos;
  std::size_t got = 0;
  const unsigned char* p = peek(pos, left < kLongest ? static_cast<std::size_t>(left) : kLongest, got);
  if (got > left) got = static_cast<std::size_t>(left);  // never look past the container
  std::size_t i = 0;
  if (keyed) {
    if (got < 2) return false;
    e.key = static_cast<std::uint16_t>((p[0] << 8) | p[1]);
    i = 2;
  } else {
    e.key = 0;
  }
  if (got < i + 2) return false;  // length and type
  std::uint32_t length = p[i++];
  if (length == kLongLength) {
    if (got < i + 5) return false;
    length = (std::uint32_t{p[i]} << 24) | (std::uint32_t{p[i + 1]} << 16) | (std::uint32_t{p[i + 2]} << 8) | p[i + 3];
    i += 4;
  }
  e.type = p[i++];
  const std::uint64_t data = pos + i;
  if (length > end - data) return false;  // reaches past its container
  e.length = length;
  e.position = data;
  if (length <= 8) {
    // Inside the container, so inside what peek delivered unless the input
    // came up short. Copying a whole 8 bytes when they are there is cheaper
    // than an exact copy; bytes past the length are never looked at.
    if (got >= i + 8) {
      std::memcpy(e.small, p + i, 8);
    } else {
      if (got < i + length) return false;
      std::memcpy(e.small, p + i, length);
    }
  }
  pos = data + length;
  return true;
}

// ---------------------------------------------------------------------------
// Items.

void UKeyInStream::build_item(Frame& f) {
  f.index.clear();
  // Room for a typical item at once; the capacity then stays with the frame
  // for every later item and container at this depth.
  if (f.index.capacity() == 0) f.index.reserve(kInitialIndex);
  f.current = -1;
  f.built = true;
  std::uint64_t pos = f.cursor;
  bool use_bitmap = false;
  while (pos < f.end) {
    // Parsed in place: the entry is written once, where it stays.
    Entry& e = f.index.emplace_back();
    std::uint64_t next = pos;
    if (!parse_field(next, f.end, true, e)) {
      f.index.pop_back();
      pos = f.end;  // damaged: the container ends here
      break;
    }
    const std::size_t before = f.index.size() - 1;
    bool repeated;
    if (!use_bitmap) {
      repeated = std::any_of(f.index.begin(), f.index.begin() + static_cast<std::ptrdiff_t>(before),
                             [&](const Entry& x) { return x.key == e.key; });
      if (!repeated && before == kLinearKeyCheck) {
        if (seen_keys_.empty()) seen_keys_.assign(kKeyBitmapWords, 0);
        for (const Entry& x : f.index) mark_key(x.key, true);
        use_bitmap = true;
      }
    } else {
      repeated = seen(e.key);
      if (!repeated) mark_key(e.key, true);
    }
    if (repeated) {
      f.index.pop_back();
      break;  // this field begins the next item
    }
    pos = next;
  }
  f.cursor = pos;
  if (use_bitmap) {
    for (const Entry& x : f.index) mark_key(x.key, false);
  }
}

const UKeyInStream::Entry* UKeyInStream::find(Frame& f, std::uint16_t k) {
  if (!f.keyed) return nullptr;
  if (!f.built) build_item(f);
  // Keys within an item are distinct, so the scan may start anywhere; readers
  // mostly ask for fields in the order they were written, so it starts just
  // after the previous hit.
  const std::size_t n = f.index.size();
  std::size_t i = f.current >= 0 ? static_cast<std::size_t>(f.current) + 1 : 0;
  f.current = -1;
  for (std::size_t tried = 0; tried < n; ++tried, ++i) {
    if (i == n) i = 0;
    if (f.index[i].key == k) {
      f.current = static_cast<std::int32_t>(i);
      return &f.index[i];
    }
  }
  return nullptr;
}

UKeyInStream& UKeyInStream::select(std::uint16_t k) {
  find(frames_[depth_], k);
  return *this;
}

bool UKeyInStream::has(std::uint16_t k) { return find(frames_[depth_], k) != nullptr; }

bool UKeyInStream::next_item() {
  Frame& f = frames_[depth_];
  if (f.keyed) {
    build_item(f);
    return !f.index.empty();
  }
  // An array element is checked whole before it is promised; the reads then
  // take it from here.
  if (f.pending) return true;
  std::uint64_t pos = f.cursor;
  if (!parse_field(pos, f.end, false, f.element)) {
    f.cursor = f.end;
    return false;
  }
  f.cursor = pos;
  f.pending = true;
  return true;
}

std::size_t UKeyInStream::item_size() {
  Frame& f = frames_[depth_];
  if (!f.keyed) return 0;
  if (!f.built) build_item(f);
  return f.index.size();
}

UKeyInStream::FieldInfo UKeyInStream::item_field(std::size_t i) {
  if (i >= item_size()) return FieldInfo{0, 0, 0};
  const Entry& e = frames_[depth_].index[i];
  return FieldInfo{e.key, e.type, e.length};
}

// ---------------------------------------------------------------------------
// Containers.

UKeyInStream& UKeyInStream::enter(std::uint16_t k, bool keyed) {
  if (depth_ + 1 >= kMaxDepth) throw_error("UKeyInStream: exceeded depth");
  const Entry* e = find(frames_[depth_], k);
  Frame& f = frames_[depth_ + 1];
  f.start = f.cursor = e != nullptr ? e->position : 0;
  f.end = e != nullptr ? e->position + e->length : 0;
  f.keyed = keyed;
  f.built = false;
  f.pending = false;
  f.current = -1;
  f.index.clear();  // keeps its capacity for the next container at this depth
  ++depth_;
  return *this;
}

UKeyInStream& UKeyInStream::leave() {
  if (depth_ > 0) --depth_;
  return *this;
}

UKeyInStream& leave(UKeyInStream& s) { return s.leave(); }

// ---------------------------------------------------------------------------
// Reads.

const UKeyInStream::Entry* UKeyInStream::take_field() {
  Frame& f = frames_[depth_];
  if (f.keyed) return f.current >= 0 ? &f.index[static_cast<std::size_t>(f.current)] : nullptr;
  if (f.pending) {
    f.pending = false;
    return &f.element;
  }
  std::uint64_t pos = f.cursor;
  if (!parse_field(pos, f.end, false, f.element)) {
    f.cursor = f.end;
    return nullptr;
  }
  f.cursor = pos;
  return &f.element;
}

std::size_t UKeyInStream::read_data(const Entry& e, void* out, std::size_t n) {
  if (e.length <= 8) {
    if (n > 0) std::memcpy(out, e.small, n);
    return n;
  }
  return fetch(e.position, out, n);
}

bool UKeyInStream::read_fixed(std::size_t width, std::uint64_t& value) {
  const Entry* e = take_field();
  if (e == nullptr) return false;
  if (e->length > width) throw_error("UKeyInStream: reading field longer than expected");
  value = 0;
  for (std::uint32_t i = 0; i < e->length; ++i) value = (value << 8) | e->small[i];
  return true;
}

UKeyInStream& UKeyInStream::read(bool& v) {
  std::uint64_t x;
  if (read_fixed(1, x)) v = x != 0;
  return *this;
}

UKeyInStream& UKeyInStream::read(signed char& v) {
  std::uint64_t x;
  if (read_fixed(1, x)) v = static_cast<signed char>(static_cast<std::uint8_t>(x));
  return *this;
}

UKeyInStream& UKeyInStream::read(unsigned char& v) {
  std::uint64_t x;
  if (read_fixed(1, x)) v = static_cast<unsigned char>(x);
  return *this;
}

UKeyInStream& UKeyInStream::read(short& v) {
  std::uint64_t x;
  if (read_fixed(2, x)) v = static_cast<short>(static_cast<std::uint16_t>(x));
  return *this;
}

UKeyInStream& UKeyInStream::read(unsigned short& v) {
  std::uint64_t x;
  if (read_fixed(2, x)) v = static_cast<unsigned short>(x);
  return *this;
}

UKeyInStream& UKeyInStream::read(int& v) {
  std::uint64_t x;
  if (read_fixed(4, x)) v = static_cast<int>(static_cast<std::uint32_t>(x));
  return *this;
}

UKeyInStream& UKeyInStream::read(unsigned int& v) {
  std::uint64_t x;
  if (read_fixed(4, x)) v = static_cast<unsigned int>(x);
  return *this;
}

UKeyInStream& UKeyInStream::read(double& v) {
  std::uint64_t x;
  if (read_fixed(8, x)) v = std::bit_cast<double>(x);
  return *this;
}

UKeyInStream& UKeyInStream::read(ustring& v) {
  const Entry* e = take_field();  // consumes an array element in every case
  if (e == nullptr || code_ <= 0) {
    v.clear();
    return *this;
  }
  const auto up_to_zero = [](const void* p, std::size_t n) {
    const void* zero = std::memchr(p, 0, n);
    return zero != nullptr ? static_cast<std::size_t>(static_cast<const char*>(zero) - static_cast<const char*>(p)) : n;
  };
  if (e->length <= 8) {
    v.assign(reinterpret_cast<const char*>(e->small), up_to_zero(e->small, e->length));
  } else if (e->length <= kWindowSize) {
    std::size_t got = 0;
    const unsigned char* p = peek(e->position, e->length, got);
    got = std::min<std::size_t>(got, e->length);
    v.assign(reinterpret_cast<const char*>(p), up_to_zero(p, got));
  } else {
    v.resize(e->length);
    const std::size_t got = fetch(e->position, v.data(), e->length);
    v.resize(up_to_zero(v.data(), got));
  }
  return *this;
}

UKeyInStream& UKeyInStream::read(std::string& v) {
  const Entry* e = take_field();
  if (e == nullptr) return *this;
  if (e->length <= 8) {
    v.assign(reinterpret_cast<const char*>(e->small), e->length);
  } else if (e->length <= kWindowSize) {
    std::size_t got = 0;
    const unsigned char* p = peek(e->position, e->length, got);
    v.assign(reinterpret_cast<const char*>(p), std::min<std::size_t>(got, e->length));
  } else {
    v.resize(e->length);
    v.resize(fetch(e->position, v.data(), e->length));
  }
  return *this;
}

bool UKeyInStream::field_info(FieldInfo& info) {
  Frame& f = frames_[depth_];
  const Entry* e = nullptr;
  if (f.keyed) {
    e = take_field();
  } else if (f.pending) {
    e = &f.element;
  } else if ((e = take_field()) != nullptr) {
    f.pending = true;  // the next read takes this element
  }
  info = e != nullptr ? FieldInfo{f.keyed ? e->key : std::uint16_t{0}, e->type, e->length} : FieldInfo{0, 0, 0};
  return e != nullptr;
}

bool UKeyInStream::field_length(std::uint32_t& length) {
  FieldInfo info;
  const bool present = field_info(info);
  length = info.length;
  return present;
}

UKeyInStream& UKeyInStream::read_bytes(void* buffer, std::size_t n) {
  const Entry* e = take_field();
  if (e != nullptr) read_data(*e, buffer, std::min<std::size_t>(n, e->length));
  return *this;
}
