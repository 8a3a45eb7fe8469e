#include "utils/UKeyStream.h"

#include <bit>
#include <cstring>

namespace {

constexpr std::uint64_t kMaxLength = 0xFFFFFFFFu;
constexpr unsigned char kLongLength = 0xFF;

// Appends the length in its 1-byte or 5-byte form; returns the bytes used.
std::size_t put_length(unsigned char* out, std::uint64_t n) {
  if (n < kLongLength) {
    out[0] = static_cast<unsigned char>(n);
    return 1;
  }
  out[0] = kLongLength;
  out[1] = static_cast<unsigned char>(n >> 24);
  out[2] = static_cast<unsigned char>(n >> 16);
  out[3] = static_cast<unsigned char>(n >> 8);
  out[4] = static_cast<unsigned char>(n);
  return 5;
}

}  // namespace

UKeyOutStream::UKeyOutStream(std::ostream& output, std::int32_t identifier) : output_(output) {
  buffer_ = output.rdbuf();
  if (buffer_ == nullptr || !output.good()) {
    failed_ = true;  // the stream already says why
    return;
  }
  // An output that cannot tell its position could never get its container
  // lengths patched: refuse it before writing anything.
  std::uint64_t start;
  if (!tell(start)) {
    fail(std::ios_base::failbit);
    return;
  }
  open_container(kMetaKey, eFieldType_Record);
  if (identifier != 0) key(kIdKey).write(identifier);
  key(kCodeKey).write(1);
}

UKeyOutStream::~UKeyOutStream() {
  try {
    close_all();
  } catch (...) {
    // The stream's exception mask may turn a failure into an exception;
    // a destructor must not let it out.
  }
}

void UKeyOutStream::fail(std::ios_base::iostate state) {
  failed_ = true;
  output_.setstate(state);
}

// Positions are asked of the output rather than counted, so that bytes the
// caller writes to it directly between fields still count in the lengths.
bool UKeyOutStream::tell(std::uint64_t& position) {
  const std::streampos p = buffer_->pubseekoff(0, std::ios_base::cur, std::ios_base::out);
  if (p == std::streampos(std::streamoff(-1))) return false;
  position = static_cast<std::uint64_t>(std::streamoff(p));
  return true;
}

void UKeyOutStream::put(const void* bytes, std::size_t count) {
  const std::streamsize n = static_cast<std::streamsize>(count);
  if (buffer_->sputn(static_cast<const char*>(bytes), n) != n) {
    fail(std::ios_base::badbit);
    return;
  }
}

UKeyOutStream& UKeyOutStream::write_integer(FieldType type, std::uint64_t value) {
  // Big-endian at the written width, leading zero bytes dropped: what is left
  // is exactly the significant bytes of the value.
  const int n = (std::bit_width(value) + 7) / 8;
  unsigned char bytes[8];
  for (int i = 0; i < n; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * (n - 1 - i)));
  return write_field(type, bytes, static_cast<std::uint64_t>(n));
}

UKeyOutStream& UKeyOutStream::write(const char* text) {
  return write_field(eFieldType_String, text, text == nullptr ? 0 : std::strlen(text));
}

UKeyOutStream& UKeyOutStream::write_field(FieldType type, const void* data, std::uint64_t count) {
  const std::uint16_t k = pending_key_;
  pending_key_ = 0;
  if (failed_) return *this;
  if (depth_ == 0 || count > kMaxLength) {
    fail(std::ios_base::failbit);
    return *this;
  }
  // Key, length, type and small data go out in one piece.
  unsigned char head[16];
  std::size_t used = 0;
  if (open_[depth_ - 1].keyed) {
    head[0] = static_cast<unsigned char>(k >> 8);
    head[1] = static_cast<unsigned char>(k);
    used = 2;
  }
  used += put_length(head + used, count);
  head[used++] = type;
  if (count <= 8) {
    if (count > 0) std::memcpy(head + used, data, static_cast<std::size_t>(count));
    put(head, used + static_cast<std::size_t>(count));
  } else {
    put(head, used);
    if (!failed_) put(data, static_cast<std::size_t>(count));
  }
  return *this;
}

UKeyOutStream& UKeyOutStream::begin_container(std::uint16_t k, FieldType type) {
  if (failed_) return *this;
  // With nothing open the stream is complete (close_all ran): anything more
  // would land outside the meta record, where no reader looks.
  if (depth_ == 0 || depth_ == kMaxDepth) {
    fail(std::ios_base::failbit);
    return *this;
  }
  return open_container(k, type);
}

UKeyOutStream& UKeyOutStream::open_container(std::uint16_t k, FieldType type) {
  const unsigned char head[8] = {static_cast<unsigned char>(k >> 8), static_cast<unsigned char>(k), kLongLength, 0, 0,
                                 0, 0, type};
  put(head, sizeof head);
  std::uint64_t content_start;
  if (failed_) return *this;
  if (!tell(content_start)) {
    fail(std::ios_base::badbit);
    return *this;
  }
  open_[depth_++] = Container{content_start, type == eFieldType_Record};
  return *this;
}

UKeyOutStream& UKeyOutStream::end() {
  if (failed_) return *this;
  if (depth_ == 0) {
    fail(std::ios_base::failbit);
    return *this;
  }
  const Container& c = open_[depth_ - 1];
  std::uint64_t here;
  if (!tell(here) || here < c.content_start) {
    fail(std::ios_base::badbit);
    return *this;
  }
  const std::uint64_t length = here - c.content_start;
  if (length > kMaxLength) {
    fail(std::ios_base::failbit);
    return *this;
  }
  unsigned char patch[5];
  patch[0] = kLongLength;  // containers always take the 5-byte form
  patch[1] = static_cast<unsigned char>(length >> 24);
  patch[2] = static_cast<unsigned char>(length >> 16);
  patch[3] = static_cast<unsigned char>(length >> 8);
  patch[4] = static_cast<unsigned char>(length);
  const auto at = [this](std::uint64_t pos) {
    const std::streampos p(static_cast<std::streamoff>(pos));
    return buffer_->pubseekpos(p, std::ios_base::out) == p;
  };
  if (!at(c.content_start - 6) || buffer_->sputn(reinterpret_cast<const char*>(patch), 5) != 5 || !at(here)) {
    fail(std::ios_base::badbit);
    return *this;
  }
  --depth_;
  return *this;
}

UKeyOutStream& UKeyOutStream::close_all() {
  while (depth_ > 0 && !failed_) end();
  return *this;
}

UKeyOutStream& end_record(UKeyOutStream& s) { return s.end(); }
UKeyOutStream& end_array(UKeyOutStream& s) { return s.end(); }
