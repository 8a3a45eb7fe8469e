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
// Not thread-safe: one instance is used by one thread. The stream is not
// owned and must outlive the reader; its buffer must not be replaced while
// the reader uses it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <streambuf>
#include <string>
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
  bool get_char(char& c);

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

  // Pushes c back so that the next get_char delivers it. A zero byte is
  // ignored.
  void unget_char(char c);

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

 private:
  enum Encoding { eEncoding_Bytes = 0, eEncoding_Utf16BE = 1, eEncoding_Utf16LE = 2 };

  void detect_encoding();
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
};

inline bool UAbstractParserBase::get_char(char& c) {
  if (!pushback_.empty()) {
    c = pushback_.back();
    pushback_.pop_back();
    if (pushback_.size() < fresh_) {
      fresh_ = pushback_.size();
      count_line(c);
    }
    return true;
  }
  if (ended_ || !input_->good()) return false;
  if (encoding_ != eEncoding_Bytes) return get_utf16_char(c);
  const int b = read_byte();
  if (b < 0) return false;
  c = static_cast<char>(b);
  count_line(c);
  return true;
}

inline std::size_t UAbstractParserBase::read_plain(char* out, std::size_t max, const bool* stop) {
  if (!pushback_.empty() || ended_ || encoding_ != eEncoding_Bytes || !input_->good()) return 0;
  std::streambuf* const buffer = buffer_;
  std::size_t n = 0;
  while (n < max) {
    // Peek first: the stop byte stays in the stream.
    const int b = buffer->sgetc();
    if (b == std::char_traits<char>::eof() || stop[b] || b == '\r' || b == '\n') break;
    out[n++] = static_cast<char>(b);
    buffer->sbumpc();
  }
  // No CR or LF among them, so only the last one matters for line counting.
  if (n > 0) previous_ = out[n - 1];
  return n;
}

inline bool UAbstractParserBase::get_non_space(char& c) {
  while (get_char(c)) {
    if (c != ' ' && (c < '\t' || c > '\r')) return true;
  }
  return false;
}

inline void UAbstractParserBase::unget_char(char c) {
  if (c != 0) pushback_.push_back(c);
}
