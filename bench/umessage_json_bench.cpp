// umessage JSON text beside nlohmann::json, RapidJSON and simdjson.
//
// Two fixtures: a ticket-like record of about 100 KB of JSON and a details
// request of about 2 KB. Every library works on the same text, the one our
// writer produces. Throughput is reported in bytes of that text per second.
//   write: record -> text. Ours into a reused string through std::ostream;
//          nlohmann's dump(); RapidJSON's Writer into a reused StringBuffer.
//   read:  text -> tree. Ours into a umessage from a std::istream over the
//          text; nlohmann's parse; RapidJSON's DOM Parse into a new Document;
//          simdjson's DOM parser (reused, as its documentation recommends),
//          for reference.
//   copy:  a deep copy of the record, destroyed again: the allocations and
//          frees of a read (two per nested record, one per long string, one
//          per entry whose values outgrow the room inside the entry) without
//          any text, that is the floor of our read.
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <istream>
#include <nlohmann/json.hpp>
#include <ostream>
#include <simdjson.h>
#include <sstream>
#include <stdexcept>
#include <streambuf>
#include <string>

#include "message_fixtures.h"
#include "utils/umessage.h"

namespace {

// An output buffer appending to a string that keeps its capacity between
// runs.
class StringSink : public std::streambuf {
 public:
  void reset() { text_.clear(); }
  const std::string& text() const { return text_; }

 protected:
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    text_.append(s, static_cast<std::size_t>(n));
    return n;
  }
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof())) text_.push_back(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
  }

 private:
  std::string text_;
};

// An input buffer over a text in memory, rewound for every run.
class MemorySource : public std::streambuf {
 public:
  explicit MemorySource(const std::string& text) : text_(text) { rewind(); }
  void rewind() {
    char* begin = const_cast<char*>(text_.data());
    setg(begin, begin, begin + text_.size());
  }

 private:
  const std::string& text_;
};

struct Fixture {
  umessage record;
  std::string text;
};

std::string write_text(const umessage& m) {
  std::ostringstream out;
  m.write(out);
  return out.str();
}

const Fixture& fixture(int which) {
  static const Fixture ticket{make_ticket_message(), write_text(make_ticket_message())};
  static const Fixture request{make_request_message(), write_text(make_request_message())};
  return which == 0 ? ticket : request;
}

const char* fixture_name(int which) { return which == 0 ? "ticket" : "request"; }

void report(benchmark::State& state, const Fixture& f) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(f.text.size()));
  state.SetLabel(std::string(fixture_name(static_cast<int>(state.range(0)))) + ", " +
                 std::to_string(f.text.size()) + " bytes");
}

// ---- write ----

void BM_Write_Vx(benchmark::State& state) {
  const Fixture& f = fixture(static_cast<int>(state.range(0)));
  StringSink sink;
  std::ostream out(&sink);
  for (auto _ : state) {
    sink.reset();
    f.record.write(out);
    benchmark::DoNotOptimize(sink.text().data());
  }
  if (sink.text() != f.text) state.SkipWithError("text differs");
  report(state, f);
}

void BM_Write_Nlohmann(benchmark::State& state) {
  const Fixture& f = fixture(static_cast<int>(state.range(0)));
  const nlohmann::json doc = nlohmann::json::parse(f.text);
  for (auto _ : state) {
    std::string text = doc.dump();
    benchmark::DoNotOptimize(text.data());
  }
  report(state, f);
}

void BM_Write_RapidJSON(benchmark::State& state) {
  const Fixture& f = fixture(static_cast<int>(state.range(0)));
  rapidjson::Document doc;
  doc.Parse(f.text.c_str(), f.text.size());
  if (doc.HasParseError()) throw std::runtime_error("RapidJSON cannot parse the fixture");
  rapidjson::StringBuffer buffer;
  for (auto _ : state) {
    buffer.Clear();
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    doc.Accept(writer);
    benchmark::DoNotOptimize(buffer.GetString());
  }
  report(state, f);
}

// ---- read ----

void BM_Read_Vx(benchmark::State& state) {
  const Fixture& f = fixture(static_cast<int>(state.range(0)));
  MemorySource source(f.text);
  std::istream in(&source);
  for (auto _ : state) {
    source.rewind();
    in.clear();
    umessage m;
    if (!m.read(in)) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(m);
  }
  report(state, f);
}

void BM_Read_Nlohmann(benchmark::State& state) {
  const Fixture& f = fixture(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    nlohmann::json doc = nlohmann::json::parse(f.text);
    benchmark::DoNotOptimize(doc);
  }
  report(state, f);
}

void BM_Read_RapidJSON(benchmark::State& state) {
  const Fixture& f = fixture(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    rapidjson::Document doc;
    doc.Parse(f.text.c_str(), f.text.size());
    benchmark::DoNotOptimize(doc.HasParseError());
  }
  report(state, f);
}

void BM_Read_Simdjson(benchmark::State& state) {
  const Fixture& f = fixture(static_cast<int>(state.range(0)));
  const simdjson::padded_string padded(f.text);
  simdjson::dom::parser parser;
  for (auto _ : state) {
    simdjson::dom::element doc;
    if (parser.parse(padded).get(doc) != simdjson::SUCCESS) state.SkipWithError("simdjson failed");
    benchmark::DoNotOptimize(doc);
  }
  report(state, f);
}

void BM_Copy_Vx(benchmark::State& state) {
  const Fixture& f = fixture(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    umessage copy(f.record);
    benchmark::DoNotOptimize(copy);
  }
  report(state, f);
}

// Argument 0: the ticket (about 100 KB); 1: the details request (about 2 KB).
BENCHMARK(BM_Write_Vx)->Arg(0)->Arg(1);
BENCHMARK(BM_Write_Nlohmann)->Arg(0)->Arg(1);
BENCHMARK(BM_Write_RapidJSON)->Arg(0)->Arg(1);
BENCHMARK(BM_Read_Vx)->Arg(0)->Arg(1);
BENCHMARK(BM_Read_Nlohmann)->Arg(0)->Arg(1);
BENCHMARK(BM_Read_RapidJSON)->Arg(0)->Arg(1);
BENCHMARK(BM_Read_Simdjson)->Arg(0)->Arg(1);
BENCHMARK(BM_Copy_Vx)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
