// Fuzz target for UKeyInStream: any bytes may arrive as a key stream.
//
// Each input is walked twice. The first walk reads every field of every item
// as every type, enters every record and array, and pushes the reader's
// bounds (too deep, more leaves than enters, missing containers). The second
// builds a model of what the reader saw; the model is written back with
// UKeyOutStream, read again and must come out the same.
#include "utils/UKeyStream.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr char kLongerThanExpected[] = "UKeyInStream: reading field longer than expected";
constexpr char kExceededDepth[] = "UKeyInStream: exceeded depth";

void check(bool condition) {
  if (!condition) std::abort();
}

// Runs read, accepting only the one error a read may raise.
template <class F>
void tolerant(F read) {
  try {
    read();
  } catch (const std::runtime_error& e) {
    check(std::strcmp(e.what(), kLongerThanExpected) == 0);
  }
}

void read_as_every_type(UKeyInStream& r, std::uint32_t length) {
  bool b;
  signed char sc;
  unsigned char uc;
  short s;
  unsigned short us;
  int i;
  unsigned int ui;
  double d;
  tolerant([&] { r.read(b); });
  tolerant([&] { r.read(sc); });
  tolerant([&] { r.read(uc); });
  tolerant([&] { r.read(s); });
  tolerant([&] { r.read(us); });
  tolerant([&] { r.read(i); });
  tolerant([&] { r.read(ui); });
  tolerant([&] { r.read(d); });
  ustring u = "x";
  r.read(u);
  check(u.size() <= length && std::memchr(u.data(), 0, u.size()) == nullptr);
  if (r.code() <= 0) check(u.empty());
  std::string text = "x";
  r.read(text);
  check(text.size() == length);
  char buffer[16];
  r.read_bytes(buffer, sizeof buffer);
}

void enter_checked(UKeyInStream& r, std::uint16_t key, bool record) {
  const int depth = r.depth();
  try {
    record ? r.enter_record(key) : r.enter_array(key);
    check(depth < UKeyStream::kMaxDepth - 1 && r.depth() == depth + 1);
  } catch (const std::runtime_error& e) {
    check(std::strcmp(e.what(), kExceededDepth) == 0 && depth == UKeyStream::kMaxDepth - 1 && r.depth() == depth);
    throw;
  }
}

void exercise(UKeyInStream& r);

void exercise_array(UKeyInStream& r) {
  // Every element read as another type in turn, ending with the forms that
  // announce an element before reading it.
  for (unsigned turn = 0; r.next_item(); ++turn) {
    std::uint32_t length = 0;
    switch (turn % 6) {
      case 0: tolerant([&] { bool v; r.read(v); }); break;
      case 1: tolerant([&] { int v; r.read(v); }); break;
      case 2: tolerant([&] { double v; r.read(v); }); break;
      case 3: { ustring v; r.read(v); break; }
      case 4: {
        check(r.field_length(length));
        std::string v;
        r.read(v);
        check(v.size() == length);
        break;
      }
      case 5: {
        check(r.field_length(length));
        char buffer[4];
        r.read_bytes(buffer, sizeof buffer);
        break;
      }
    }
  }
  std::uint32_t length = 1;
  check(!r.field_length(length) && length == 0);
}

void exercise(UKeyInStream& r) {
  while (r.next_item()) {
    const std::size_t n = r.item_size();
    for (std::size_t i = 0; i < n; ++i) {
      const UKeyInStream::FieldInfo f = r.item_field(i);
      check(r.has(f.key));
      std::uint32_t length = 0;
      check(r.field_length(length) && length == f.length);
      read_as_every_type(r, f.length);
      if (f.type != UKeyStream::eFieldType_Record && f.type != UKeyStream::eFieldType_Array) continue;
      try {
        enter_checked(r, f.key, f.type == UKeyStream::eFieldType_Record);
      } catch (const std::runtime_error&) {
        continue;
      }
      f.type == UKeyStream::eFieldType_Record ? exercise(r) : exercise_array(r);
      r.leave();
    }
  }
  check(r.item_size() == 0);
}

// What the reader saw, with every leaf as its raw bytes.
struct Node {
  std::uint16_t key = 0;
  int kind = 0;  // 0 leaf, 6 record, 7 array
  std::string data;
  std::vector<std::vector<Node>> items;
  std::vector<std::string> elements;
  bool operator==(const Node&) const = default;
};
using Items = std::vector<std::vector<Node>>;

Items model_record(UKeyInStream& r, int levels_left) {
  Items items;
  while (r.next_item()) {
    std::vector<Node>& item = items.emplace_back();
    const std::size_t n = r.item_size();
    for (std::size_t i = 0; i < n; ++i) {
      const UKeyInStream::FieldInfo f = r.item_field(i);
      Node& node = item.emplace_back();
      node.key = f.key;
      const bool container = f.type == UKeyStream::eFieldType_Record || f.type == UKeyStream::eFieldType_Array;
      if (!container || levels_left == 0) {
        r.select(f.key).read(node.data);
        continue;
      }
      node.kind = f.type;
      if (f.type == UKeyStream::eFieldType_Record) {
        r.enter_record(f.key);
        node.items = model_record(r, levels_left - 1);
      } else {
        r.enter_array(f.key);
        while (r.next_item()) r.read(node.elements.emplace_back());
      }
      r.leave();
    }
  }
  return items;
}

void write_items(UKeyOutStream& w, const Items& items) {
  for (const auto& item : items) {
    for (const Node& node : item) {
      if (node.kind == UKeyStream::eFieldType_Record) {
        w.begin_record(node.key);
        write_items(w, node.items);
        w.end();
      } else if (node.kind == UKeyStream::eFieldType_Array) {
        w.begin_array(node.key);
        for (const std::string& e : node.elements) w.write_bytes(e.data(), e.size());
        w.end();
      } else {
        w.key(node.key).write_bytes(node.data.data(), node.data.size());
      }
    }
  }
}

constexpr std::uint16_t kRoundTripKey = make_key("RT");
// The model is written one level down (inside kRoundTripKey), so it may
// reach one level less deep than the reader allows.
constexpr int kModelLevels = UKeyStream::kMaxDepth - 2;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  Items model;
  try {
    std::istringstream in(input);
    UKeyInStream r(in);
    exercise(r);
    r.leave().leave();
    check(r.depth() == 0);
    r.enter_record(make_key("\x01\x02"));  // nothing there: an empty frame
    check(!r.next_item() && r.item_size() == 0);
    r.leave();

    std::istringstream again(input);
    UKeyInStream fresh(again);
    model = model_record(fresh, kModelLevels);
  } catch (const std::runtime_error& e) {
    // Only the opening may refuse an input; the header's code field may be
    // too long as well.
    check(std::strcmp(e.what(), "UKeyInStream: meta key mismatch") == 0 ||
          std::strcmp(e.what(), "UKeyInStream: expecting record") == 0 ||
          std::strcmp(e.what(), kLongerThanExpected) == 0);
    return 0;
  }

  std::ostringstream out;
  {
    UKeyOutStream w(out);
    w.begin_record(kRoundTripKey);
    write_items(w, model);
    w.close_all();
    check(!w.failed());
  }
  std::istringstream back(out.str());
  UKeyInStream r(back);
  r.enter_record(kRoundTripKey);
  check(model_record(r, kModelLevels) == model);
  return 0;
}
