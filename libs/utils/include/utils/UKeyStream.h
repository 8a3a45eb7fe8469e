// UKeyStream: the tagged container format every job payload travels in, and
// its writer (UKeyOutStream) and reader (UKeyInStream).
//
// A stream is a tree of records and arrays whose leaves are typed fields. Every
// child of a record carries a 16-bit key; scalar children of an array carry
// none. A reader finds fields by key, so fields may come in any order and
// fields nobody asks for are skipped.
//
// Wire format (all integers big-endian):
//
//   stream       := meta
//   meta         := 4B 53 ('KS')  FF length:uint32  06  meta_content
//   meta_content := [id_field] code_field child*
//   id_field     := 49 44 ('ID')  length  02  data        only for an identifier != 0
//   code_field   := C0 DE 01 02 01                         int field 0xC0DE = 1
//   child        := key:uint16 length type data            child of a record
//                 | length type data                       scalar child of an array
//   length       := n:uint8                                n = 0..254
//                 | FF n:uint32                            any n; always for n >= 255
//                                                          and for every container
//   type         := 01 bool | 02 int | 03 uns int | 04 float | 05 string
//                 | 06 record | 07 array | 08 user/binary
//   data         := byte[n]; for a record or an array the sequence of its children
//
// Scalars: bool true is the byte 01, false has no data. Integers are written
// at the width of the written C++ type (1, 2 or 4 bytes), doubles as their 8
// IEEE 754 bytes, and leading zero bytes are dropped (int 0 and 0.0 have no
// data, int 200 is C8, int -1 is FF FF FF FF). Strings (UTF-8, no terminator)
// and user/binary data are never shortened.
//
// Items: a record holds a sequence of items. An item is a run of fields with
// distinct keys; a key that repeats within the run starts the next item. Lists
// are written as one record whose items follow each other, each starting with
// a key that its predecessor also used.
//
// Keys are chosen as two ASCII characters, the first in the high byte, so the
// key reads as its characters in the bytes: make_key("KS") == 0x4B53. Inside
// the meta record the keys 'ID' and 0xC0DE are taken.
//
// Containers nest at most 10 deep, the meta record included. Lengths and
// stream positions are 32-bit.
//
// Neither class is thread-safe; the stream is not owned and must outlive the
// writer or reader, and its buffer must not be replaced meanwhile.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <type_traits>
#include <vector>

#include "utils/umessage_serialize.h"
#include "utils/ustring.h"

class umessage;

// The key whose bytes are the two characters: make_key("ab") == 0x6162.
constexpr std::uint16_t make_key(const char (&chars)[3]) {
  return static_cast<std::uint16_t>((static_cast<unsigned char>(chars[0]) << 8) |
                                    static_cast<unsigned char>(chars[1]));
}

class UKeyStream {
 public:
  enum FieldType : std::uint8_t {
    eFieldType_Bool = 1,
    eFieldType_Int = 2,
    eFieldType_UnsInt = 3,
    eFieldType_Float = 4,
    eFieldType_String = 5,
    eFieldType_Record = 6,
    eFieldType_Array = 7,
    eFieldType_Binary = 8,
  };

  static constexpr std::uint16_t kMetaKey = make_key("KS");
  static constexpr std::uint16_t kIdKey = make_key("ID");
  static constexpr std::uint16_t kCodeKey = 0xC0DE;
  // Open containers at most, the meta record included.
  static constexpr int kMaxDepth = 10;

  UKeyStream(const UKeyStream&) = delete;
  UKeyStream& operator=(const UKeyStream&) = delete;

 protected:
  UKeyStream() = default;
  ~UKeyStream() = default;
};

// Writes one stream. Container contents are streamed straight to the output;
// only the 4-byte container lengths are patched afterwards, so the output must
// report its position and seek back (a string or file stream does). Positions
// are asked of the output, so bytes the caller writes to it directly while a
// container is open count in that container's length.
//
// Errors are never thrown by the writer itself: they set failbit (badbit for a
// failed byte write) on the output stream, and from then on the writer is
// failed() and writes nothing more. (If the caller enabled exceptions on the
// stream, setting the state throws std::ios_base::failure there.) Failures:
// - the output is not good() at construction (its state is left as it is),
//   or cannot report its position;
// - a byte write, a seek or a length patch fails;
// - opening an eleventh nested container (the meta record counts);
// - end() with no container open;
// - a field or container written after close_all() (no container open);
// - a field or container longer than 0xFFFFFFFF bytes.
class UKeyOutStream : public UKeyStream {
 public:
  // Opens the meta record; writes the identifier under 'ID' as an int when it
  // is not 0, then the code field 0xC0DE = 1.
  explicit UKeyOutStream(std::ostream& output, std::int32_t identifier = 0);
  // close_all(); never throws.
  ~UKeyOutStream();

  // The key of the next field written into a record. Every field write resets
  // it to 0, so a field without a key() of its own gets key 0.
  UKeyOutStream& key(std::uint16_t k) {
    pending_key_ = k;
    return *this;
  }

  // One field each, at the width of the argument's type: bool (type bool),
  // signed char / short / int (int), unsigned char / unsigned short /
  // unsigned int (uns int), double (float), ustring and C text (string).
  // In a record the field takes the pending key; in an array it has none.
  UKeyOutStream& write(bool v) { return write_integer(eFieldType_Bool, v ? 1 : 0); }
  UKeyOutStream& write(signed char v) { return write_integer(eFieldType_Int, static_cast<std::uint8_t>(v)); }
  UKeyOutStream& write(unsigned char v) { return write_integer(eFieldType_UnsInt, v); }
  UKeyOutStream& write(short v) { return write_integer(eFieldType_Int, static_cast<std::uint16_t>(v)); }
  UKeyOutStream& write(unsigned short v) { return write_integer(eFieldType_UnsInt, v); }
  UKeyOutStream& write(int v) { return write_integer(eFieldType_Int, static_cast<std::uint32_t>(v)); }
  UKeyOutStream& write(unsigned int v) { return write_integer(eFieldType_UnsInt, v); }
  UKeyOutStream& write(double v) { return write_integer(eFieldType_Float, std::bit_cast<std::uint64_t>(v)); }
  UKeyOutStream& write(const ustring& v) { return write_field(eFieldType_String, v.data(), v.size()); }
  UKeyOutStream& write(const char* text);  // a null pointer writes ""
  UKeyOutStream& write(char* text) { return write(static_cast<const char*>(text)); }
  // Plain char, pointers and other integer widths have no field type of their
  // own; refusing them keeps a pointer from silently becoming a bool.
  UKeyOutStream& write(char) = delete;
  UKeyOutStream& write(std::nullptr_t) = delete;
  template <class T>
  UKeyOutStream& write(T*) = delete;

  // A user/binary field holding the bytes as they are.
  UKeyOutStream& write_bytes(const void* bytes, std::size_t count) {
    return write_field(eFieldType_Binary, bytes, count);
  }
  // The record's flat form as a user/binary field. The form carries no length
  // of its own, so it is built in memory before it is written.
  UKeyOutStream& write_message(const umessage& record);

  // Opens a container under k. The pending key is neither used nor reset.
  // A container opened inside an array is written with its key all the same.
  UKeyOutStream& begin_record(std::uint16_t k) { return begin_container(k, eFieldType_Record); }
  UKeyOutStream& begin_array(std::uint16_t k) { return begin_container(k, eFieldType_Array); }
  // Closes the innermost open container and patches its length.
  UKeyOutStream& end();
  // Closes every open container, innermost first, the meta record included.
  // With nothing open it does nothing.
  UKeyOutStream& close_all();

  // True once a failure (see above) has stopped the writer.
  bool failed() const { return failed_; }

 private:
  struct Container {
    std::uint64_t content_start;  // output position just after the type byte
    bool keyed;
  };

  // value holds the written type's bits, zero-extended (never sign-extended).
  UKeyOutStream& write_integer(FieldType type, std::uint64_t value);
  UKeyOutStream& write_field(FieldType type, const void* data, std::uint64_t count);
  UKeyOutStream& begin_container(std::uint16_t k, FieldType type);
  UKeyOutStream& open_container(std::uint16_t k, FieldType type);
  void put(const void* bytes, std::size_t count);
  bool tell(std::uint64_t& position);
  void fail(std::ios_base::iostate state);

  std::ostream& output_;
  std::streambuf* buffer_ = nullptr;
  std::uint16_t pending_key_ = 0;
  bool failed_ = false;
  int depth_ = 0;
  Container open_[kMaxDepth] = {};
};

// Manipulators: both close the innermost container, exactly like end().
UKeyOutStream& end_record(UKeyOutStream& s);
UKeyOutStream& end_array(UKeyOutStream& s);

// Stream syntax: `w.key(k) << value << end_record`.
template <class T>
  requires requires(UKeyOutStream& s, const T& v) { s.write(v); }
UKeyOutStream& operator<<(UKeyOutStream& s, const T& v) {
  return s.write(v);
}
inline UKeyOutStream& operator<<(UKeyOutStream& s, UKeyOutStream& (*manipulator)(UKeyOutStream&)) {
  return manipulator(s);
}

// Reads one stream from a seekable input, one item at a time: it never loads a
// whole container, keeps copies of data up to 8 bytes in its item index and
// seeks only for longer data.
//
// The input is untrusted. Everything the reader reads lies inside the input
// and inside the enclosing container:
// - the meta record ends at its declared length or at the end of the input,
//   whichever comes first, so every field wholly inside a truncated input
//   stays readable;
// - a field or container whose header or data reaches past the end of its
//   container ends that container: the item in hand keeps the fields before
//   it, and next_item() then reports false (an array ends the same way);
// - no allocation is larger than what the input really holds.
// Absent fields and exhausted arrays are not errors (see the reads below).
//
// Thrown (std::runtime_error, never caught or logged by the reader):
//   "UKeyInStream: meta key mismatch"     the input does not start with 'KS'
//   "UKeyInStream: expecting record"      the meta record's type is not 6
//   "UKeyInStream: exceeded depth"        a tenth level below the meta record;
//                                         the level is refused and the reader
//                                         stays where it was, usable
//   "UKeyInStream: reading field longer than expected"
//                                         a fixed-width read of a longer field
//                                         (the code field included); in an
//                                         array the element is consumed
// A ustring longer than a ustring can hold throws std::length_error.
//
// The input must be seekable; one that cannot report its position or end, or
// whose failbit or badbit is set, reads as empty (so the constructor throws
// "UKeyInStream: meta key mismatch"). The reader does not change the input's
// state flags and leaves its position unspecified.
class UKeyInStream : public UKeyStream {
 public:
  // What item_field() tells of one field of the current item.
  struct FieldInfo {
    std::uint16_t key;
    std::uint8_t type;
    std::uint32_t length;
  };

  // Reads the meta record's header and its 'ID' and code fields (the
  // identifier is not compared with anything). Throws the first two texts,
  // and the fourth for a code field longer than an int.
  explicit UKeyInStream(std::istream& input);
  ~UKeyInStream();

  // The code field's value, 0 when it is absent. Strings read as empty when
  // it is 0 or below.
  std::int32_t code() const { return code_; }
  // 0 for the meta record, 1 inside a container entered from it, and so on.
  int depth() const { return depth_; }

  // Makes the field with key k in the current item the current field, or
  // makes the current field absent. In a record frame that has no item yet
  // this builds the first item. In an array frame it does nothing.
  UKeyInStream& select(std::uint16_t k);
  // select(k), then whether the field is present (always false in an array).
  bool has(std::uint16_t k);

  // Typed reads. In a record they read the current field (repeatably); in an
  // array they read the next element. An absent field or an exhausted array
  // leaves the target unchanged, except that a ustring target is always
  // assigned. Fixed-width values are read at the width of the target (1, 2,
  // 4 or 8 bytes): a field of n <= w bytes is w - n zero bytes followed by
  // its n bytes, with no sign extension (a signed char -1 read as an int is
  // 255); the type byte is not examined. A bool is true when its byte is not
  // 0.
  UKeyInStream& read(bool& v);
  UKeyInStream& read(signed char& v);
  UKeyInStream& read(unsigned char& v);
  UKeyInStream& read(short& v);
  UKeyInStream& read(unsigned short& v);
  UKeyInStream& read(int& v);
  UKeyInStream& read(unsigned int& v);
  UKeyInStream& read(double& v);
  // The bytes up to the first zero byte; empty when the field is absent or
  // the code value is 0 or below.
  UKeyInStream& read(ustring& v);
  // All data bytes, whatever the code value; unchanged when absent.
  UKeyInStream& read(std::string& v);

  // The current field's length and whether it is present; length 0 when it is
  // not. In an array: the next element's, whose header this consumes; the
  // following read then reads that element (asking again before that read
  // reports the same element).
  bool field_length(std::uint32_t& length);
  // field_length with the field's key (0 in an array) and type as well.
  bool field_info(FieldInfo& info);
  // Copies min(n, field length) data bytes of the current field (of the next
  // element in an array) to buffer; the rest of the buffer is left unchanged.
  UKeyInStream& read_bytes(void* buffer, std::size_t n);
  // Clears the record, then fills it from the current field's flat form when
  // the field is present and not empty. A flat form that does not decode
  // leaves the record empty. Every message read from one stream shares one
  // budget of string copies (utils/umessage_serialize.h): a payload of many
  // small forms gets no more than one form of their total size.
  UKeyInStream& read_message(umessage& record);

  // Pushes a frame for the container under k in the current item (it becomes
  // the current field). When there is none, or the current frame is an array,
  // the new frame is empty: reads find nothing and next_item() is false. The
  // field's type byte is not examined.
  UKeyInStream& enter_record(std::uint16_t k) { return enter(k, true); }
  UKeyInStream& enter_array(std::uint16_t k) { return enter(k, false); }
  // Pops the current frame; the parent continues where it was. At the meta
  // record it does nothing.
  UKeyInStream& leave();

  // Record frame: discards the current item and indexes the next one; true
  // when it holds at least one field. Array frame: true while elements remain.
  bool next_item();

  // The fields of the current item in stream order (building the first item
  // of a fresh record frame); none in an array frame. For tools that walk a
  // stream without knowing its keys.
  std::size_t item_size();
  FieldInfo item_field(std::size_t i);

 private:
  static constexpr std::size_t kWindowSize = 4096;

  struct Entry {
    std::uint64_t position;  // of the data, from the start of the input
    unsigned char small[8];  // the data itself when length <= 8
    std::uint32_t length;
    std::uint16_t key;
    std::uint8_t type;
  };

  struct Frame {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    std::uint64_t cursor = 0;
    bool keyed = true;
    bool built = false;    // record: an item has been indexed
    bool pending = false;  // array: `element` was announced by field_length
    std::int32_t current = -1;  // record: index of the current field
    Entry element{};            // array: the element being read
    std::vector<Entry> index;   // record: the current item
  };

  UKeyInStream& enter(std::uint16_t k, bool keyed);
  void build_item(Frame& f);
  const Entry* find(Frame& f, std::uint16_t k);
  bool parse_field(std::uint64_t& pos, std::uint64_t end, bool keyed, Entry& e);
  const Entry* take_field();
  bool read_fixed(std::size_t width, std::uint64_t& value);
  std::size_t read_data(const Entry& e, void* out, std::size_t n);
  std::size_t fetch(std::uint64_t pos, void* out, std::size_t n);
  // The window's bytes from pos on (got of them), holding at least `need`
  // unless the input ends first.
  const unsigned char* peek(std::uint64_t pos, std::size_t need, std::size_t& got);
  const unsigned char* refill(std::uint64_t pos, std::size_t& got);
  bool seen(std::uint16_t key) const { return (seen_keys_[key >> 6] >> (key & 63)) & 1; }
  void mark_key(std::uint16_t key, bool on) {
    const std::uint64_t bit = std::uint64_t{1} << (key & 63);
    on ? seen_keys_[key >> 6] |= bit : seen_keys_[key >> 6] &= ~bit;
  }

  std::streambuf* buffer_ = nullptr;
  std::int64_t base_ = 0;       // input position of the stream's first byte
  std::uint64_t size_ = 0;      // bytes of input from base_ on
  std::int32_t code_ = 0;
  int depth_ = 0;
  Frame frames_[kMaxDepth];
  std::vector<std::uint64_t> seen_keys_;  // key bitmap for long items
  std::uint64_t window_start_ = 0;
  std::size_t window_length_ = 0;
  unsigned char window_[kWindowSize];
  vxu::flat_string_budget message_budget_;
};

// Manipulator: leave().
UKeyInStream& leave(UKeyInStream& s);

// Stream syntax: `r.select(k) >> value`, `r >> leave`.
template <class T>
  requires requires(UKeyInStream& s, T& v) { s.read(v); }
UKeyInStream& operator>>(UKeyInStream& s, T& v) {
  return s.read(v);
}
inline UKeyInStream& operator>>(UKeyInStream& s, UKeyInStream& (*manipulator)(UKeyInStream&)) {
  return manipulator(s);
}
