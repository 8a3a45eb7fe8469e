// UAbstractParserBase: the character reader shared by the system's text
// parsers (JSON, string tables, lines).
//
// It reads a std::istream that holds UTF-8 (or any 8-bit text), UTF-16BE or
// UTF-16LE, decides which from the first bytes, and delivers UTF-8 bytes one
// at a time with a push-back stack and a line count. On top of that it reads
// the lexemes several grammars share (quoted strings, numbers, lines) and
// raises the common parse error.
//
// Encoding detection (b0, b1 = first two bytes, a missing byte reads as 0):
//   FE FF              UTF-16BE, mark dropped
//   FE 00              UTF-16LE, both bytes dropped
//   FF FE, FF 00       UTF-16LE, both bytes dropped
//   EF BB BF           8-bit, UTF-8 mark dropped
//   EF, not BB BF      8-bit, the bytes read are delivered
//   b0 != 0, b1 == 0   UTF-16LE, the unit b0 is delivered (as UTF-8)
//   b0 == 0            UTF-16BE, the unit b1 is delivered (as UTF-8, unless 0)
//   anything else      8-bit, b0 and b1 are delivered
// Bytes read by detection and delivered later count for lines like any other
// byte read from the input. Zero bytes are never handed back.
// In UTF-16 each code unit is encoded alone as strict UTF-8; a surrogate
// (pairs are not joined) ends the input as if it were over, and an odd
// trailing byte is dropped.
//
// Line numbers start at 1. A CR, or an LF not preceded by a CR, read from the
// input advances the line; bytes re-delivered from the push-back are not
// counted again, so pushing a line break back and reading it again is safe.
//
// End of input is never an error here: get_char and the lexeme readers return
// false or stop, and none of them can loop once the input has ended. The
// reader's own operations push back at most a few bytes at a time. A lexeme
// longer than a ustring can hold throws std::length_error.
//
// Bytes are taken straight from the stream buffer's get area while it has
// some, and the buffer's position catches up when the get area runs out and
// when the reader is destroyed; the stream's state is looked at on those
// refills. So once the reader is gone the stream stands right after the last
// byte read, but while it lives nothing else may read the stream.
//
// Not thread-safe: one instance is used by one thread. The stream is not
// owned and must outlive the reader; its buffer must not be replaced while
// the reader uses it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "utils/ustring.h"

class UAbstractParserBase {
 public:
  // Throws std::runtime_error("invalid stream") when the stream's state is
  // not good; otherwise reads up to three bytes to detect the encoding. When
  // the input is shorter than what detection reads, the stream's eofbit and
  // failbit are set, as an istream::get past the end would.
  UAbstractParserBase(std::istream& input, const ustring& name);
  virtual ~UAbstractParserBase();

  UAbstractParserBase(const UAbstractParserBase&) = delete;
  UAbstractParserBase& operator=(const UAbstractParserBase&) = delete;

  // Stores the next UTF-8 byte in c and returns true; the push-back is
  // delivered first (most recently pushed first). Returns false, leaving c
  // unchanged, at the end of the input or when the stream is not good.
  bool get_char(char& c) {
    if (next_ != limit_) {
      c = *next_++;
      count_line(c);
      return true;
    }
    return get_char_slow(c);
  }

  // get_char until a byte that is not white space (space, \t, \n, \v, \f,
  // \r: the C locale's isspace, whatever the process locale is).
  bool get_non_space(char& c);

  // Bulk form of get_char for scanners: moves up to max bytes into out as
  // long as none of them is flagged in stop (256 flags, indexed by the byte
  // as unsigned char) and returns how many it moved; the first flagged byte
  // is left unread. CR and LF always stop (get_char counts them for lines).
  // Returns 0 at once while bytes are pushed back, after the input
  // has ended, for UTF-16 input or when the stream is not good: callers then
  // take the next byte with get_char, which handles all of these.
  std::size_t read_plain(char* out, std::size_t max, const bool* stop);

  // read_plain without the copy: the bytes moved are returned as a view
  // into the stream buffer, valid until the next read from this reader.
  std::string_view take_plain(const bool* stop);

  // Pushes c back so that the next get_char delivers it. A zero byte is
  // ignored.
  void unget_char(char c) {
    if (c == 0) return;
    pushback_.push_back(c);
    limit_ = next_;  // the push-back goes first: leave the fast path
  }

  // The bytes up to, not including, the next CR or LF (which is pushed back)
  // or the end of the input.
  ustring read_line();

  // Discards the rest of the current line including its CR or LF, then the
  // white space after it; the first byte that is not white space is pushed
  // back.
  void skip_line();

  // Reads a double-quoted string after optional white space into text.
  // Backslash escapes: \n and \r give LF, \t tab, \b backspace, \f form feed,
  // any other byte stands for itself. Quoted strings separated only by white
  // space are joined. Returns false (text empty, the byte pushed back) when
  // the next non-space byte is not a double quote or the input has ended;
  // true otherwise, also when the input ends before the closing quote.
  bool read_quoted(ustring& text);

  // Reads a number after optional white space into text:
  //   [+|-] digit+ [ "." digit* ] [ (e|E) [+|-] digit* ]
  // is_float is set when the point or the exponent part is present. The
  // byte after the number is pushed back. Returns false with text empty when
  // no digit follows the optional sign; the bytes read are then pushed back
  // so that they are delivered again in input order.
  bool read_number(ustring& text, bool& is_float);

  // Throws std::runtime_error("unexpected element in <name> at line <n>"),
  // with "stream" in place of an empty name.
  [[noreturn]] void raise_error() const;

  std::uint64_t line() const { return line_; }

 protected:
  // The byte a backslash escape in a quoted string stands for, as
  // read_quoted decodes it; derived scanners of quoted text share the rule.
  static constexpr char escaped_byte(char c) noexcept {
    switch (c) {
      case 'n':
      case 'r': return '\n';
      case 't': return '\t';
      case 'b': return '\b';
      case 'f': return '\f';
      default: return c;
    }
  }

  // For scanners that look at the buffered bytes in place: the bytes from
  // window_next() to window_limit() are the ones get_char would deliver
  // next. The range is empty whenever get_char would not take them straight
  // from the stream buffer (push-back, end of input, UTF-16, a buffer
  // without a get area, or simply before the first refill); get_char then
  // goes on as usual and opens the window again when it can.
  const char* window_next() const noexcept { return next_; }
  const char* window_limit() const noexcept { return limit_; }
  // Marks the window's bytes up to p as read; they hold no CR or LF.
  void window_skip_plain(const char* p) noexcept {
    if (p != next_) {
      previous_ = p[-1];
      next_ = p;
    }
  }
  // Marks the window's bytes up to p as read, counting their line breaks.
  void window_skip(const char* p) noexcept {
    while (next_ != p) count_line(*next_++);
  }

 private:
  enum Encoding { eEncoding_Bytes = 0, eEncoding_Utf16BE = 1, eEncoding_Utf16LE = 2 };

  void detect_encoding();
  // get_char once the get area window is used up or closed.
  bool get_char_slow(char& c);
  // Hands the bytes read from the window back to the stream buffer (its
  // position advances past them) and closes the window.
  void close_window() noexcept;
  // Closes the window and opens one over the bytes the stream buffer holds,
  // refilling it when it is empty. False, with no window, while bytes are
  // pushed back, after the end, for UTF-16 input, when the stream is not
  // good, at the end of the stream (not yet recorded) or when the buffer
  // keeps no get area.
  bool open_window();
  std::size_t plain_run(const bool* stop) const {
    std::size_t n = 0;
    const std::size_t available = static_cast<std::size_t>(limit_ - next_);
    while (n < available) {
      const auto b = static_cast<unsigned char>(next_[n]);
      if (stop[b] || b == '\r' || b == '\n') break;
      ++n;
    }
    return n;
  }
  // Queues one UTF-16 code unit read during detection, encoded as UTF-8.
  void hand_back_unit(char16_t unit);
  // Reads and encodes one UTF-16 code unit (the slow path of get_char).
  bool get_utf16_char(char& c);
  // Reads one byte from the stream buffer; -1 at its end (which is recorded
  // in the stream's state and in ended_).
  int read_byte() {
    const int b = buffer_->sbumpc();
    if (b == std::char_traits<char>::eof()) {
      mark_end();
      return -1;
    }
    return b;
  }
  void mark_end();
  void count_line(char c) {
    if (c == '\r' || (c == '\n' && previous_ != '\r')) ++line_;
    previous_ = c;
  }

  std::istream* input_;
  std::streambuf* buffer_;
  ustring name_;
  std::uint64_t line_ = 1;
  Encoding encoding_ = eEncoding_Bytes;
  // Top is the back. The bottom fresh_ bytes are bytes that detection read
  // from the input but did not consume; they are counted for lines when
  // first delivered, like any byte read from the input.
  std::vector<char> pushback_;
  std::size_t fresh_ = 0;
  char previous_ = 0;
  // Set once the input is over: end of stream, odd trailing byte, or a
  // surrogate in UTF-16 input. Stays set.
  bool ended_ = false;
  // The window: bytes of the buffer's get area, from window_ (the buffer's
  // own position) to limit_; next_ is the next byte to deliver. All null
  // while closed. A push-back sets limit_ to next_, so that get_char leaves
  // its fast path and the bytes read so far still count.
  const char* window_ = nullptr;
  const char* next_ = nullptr;
  const char* limit_ = nullptr;
};

inline bool UAbstractParserBase::get_non_space(char& c) {
  while (get_char(c)) {
    if (c != ' ' && (c < '\t' || c > '\r')) return true;
  }
  return false;
}
