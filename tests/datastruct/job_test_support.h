// Helpers shared by the job model tests: byte builders that do not lean on
// the key-stream writer, a job that sets every field, and a comparison of two
// jobs member by member.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <sstream>
#include <string>

#include "datastruct/BJobFile.h"
#include "utils/UKeyStream.h"

namespace jobtest {

inline std::string bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s.push_back(static_cast<char>(b));
  return s;
}
inline std::string be16(std::uint16_t v) { return bytes({v >> 8, v & 0xFF}); }
inline std::string be32(std::uint32_t v) {
  return bytes({static_cast<int>(v >> 24), static_cast<int>((v >> 16) & 0xFF),
                static_cast<int>((v >> 8) & 0xFF), static_cast<int>(v & 0xFF)});
}
inline std::string length_bytes(std::uint32_t n) {
  return n < 255 ? bytes({static_cast<int>(n)}) : "\xFF" + be32(n);
}

// A child of a record, a scalar child of an array, a container.
inline std::string field(std::uint16_t key, int type, const std::string& data) {
  return be16(key) + length_bytes(static_cast<std::uint32_t>(data.size())) + static_cast<char>(type) + data;
}
inline std::string element(int type, const std::string& data) {
  return length_bytes(static_cast<std::uint32_t>(data.size())) + static_cast<char>(type) + data;
}
inline std::string container(std::uint16_t key, int type, const std::string& content) {
  return be16(key) + "\xFF" + be32(static_cast<std::uint32_t>(content.size())) + static_cast<char>(type) +
         content;
}
inline std::string record(const char (&key)[3], const std::string& content) {
  return container(make_key(key), 6, content);
}
inline std::string text_field(const char (&key)[3], const std::string& text) {
  return field(make_key(key), 5, text);
}
// An int field as the writer shortens it.
inline std::string int_field(const char (&key)[3], std::uint32_t v) {
  std::string data = be32(v);
  data.erase(0, data.find_first_not_of('\0') == std::string::npos ? 4 : data.find_first_not_of('\0'));
  return field(make_key(key), 2, data);
}

const std::string kCodeField = bytes({0xC0, 0xDE, 0x01, 0x02, 0x01});
// A whole stream whose meta record holds the code field, then content.
inline std::string stream_of(const std::string& content) {
  return container(UKeyStream::kMetaKey, 6, kCodeField + content);
}

inline std::string hex(const std::string& s) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if (!out.empty()) out.push_back(' ');
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}

// The bytes a writer without identifier produces for body.
inline std::string written(const std::function<void(UKeyOutStream&)>& body) {
  std::ostringstream out;
  {
    UKeyOutStream w(out);
    body(w);
  }
  return out.str();
}

inline std::string write_job(BJobFile& job, int mask) {
  std::ostringstream out;
  EXPECT_TRUE(job.WriteJob(out, mask));
  return out.str();
}

inline void read_job(BJobFile& job, const std::string& payload, int mask) {
  std::istringstream in(payload);
  job.ReadJob(in, mask);
}

// A job in which every field that travels holds a value that differs from
// its default, two groups, destinations with user fields, every list.
void fill_every_field(BJobFile& job);

// Every member that travels under the full section is equal.
void expect_same_job(const BJobFile& a, const BJobFile& b);

}  // namespace jobtest
