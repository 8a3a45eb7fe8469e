// The flat form beside MessagePack (msgpack-cxx): umessage::flatten against
// msgpack::pack of an equivalent object tree, umessage::unflatten against
// msgpack::unpack of the equivalent bytes. Both sides work on the same two
// records (bench/message_fixtures.h): the equivalent MessagePack document is
// a map per record, name -> value, an entry with several values (or marked as
// an array) as an array, nested records as nested maps.
//
// Bytes per second count each side's own output size; the counters give both
// sizes, so the rates compare records per second as well. flatten writes to
// a std::ostringstream made in the loop (its interface is a stream), msgpack
// to an sbuffer made in the loop. BM_CopyRecord is no peer: it deep-copies
// the record, the allocation work any reader building a umessage must do.
#include <benchmark/benchmark.h>

#include <msgpack.hpp>

#include <sstream>
#include <string>

#include "message_fixtures.h"
#include "utils/umessage.h"

namespace {

using shared_record = std::shared_ptr<umessage>;
using msgpack_packer = msgpack::packer<msgpack::sbuffer>;

void pack_text(msgpack_packer& packer, const ustring& text) {
  packer.pack_str(static_cast<std::uint32_t>(text.size()));
  packer.pack_str_body(text.data(), static_cast<std::uint32_t>(text.size()));
}

void pack_record(msgpack_packer& packer, const umessage& record) {
  packer.pack_map(static_cast<std::uint32_t>(record.size()));
  for (const auto& [name, array] : record) {
    pack_text(packer, name);
    if (array.is_array || array.size() > 1) packer.pack_array(static_cast<std::uint32_t>(array.size()));
    switch (array.type()) {
      case umessage::type_int:
        for (std::int32_t v : array.as<std::int32_t>()->values) packer.pack_int32(v);
        break;
      case umessage::type_bool:
        for (bool v : array.as<bool>()->values) packer.pack(v);
        break;
      case umessage::type_double:
        for (double v : array.as<double>()->values) packer.pack_double(v);
        break;
      case umessage::type_string:
        for (const ustring& v : array.as<ustring>()->values) pack_text(packer, v);
        break;
      case umessage::type_message:
        for (const shared_record& v : array.as<shared_record>()->values) pack_record(packer, *v);
        break;
      case umessage::type_int64:
        for (std::int64_t v : array.as<std::int64_t>()->values) packer.pack_int64(v);
        break;
      default:
        break;
    }
  }
}

std::string msgpack_bytes(const umessage& record) {
  msgpack::sbuffer buffer;
  msgpack_packer packer(buffer);
  pack_record(packer, record);
  return std::string(buffer.data(), buffer.size());
}

std::string flat_bytes(const umessage& record) {
  std::ostringstream out;
  record.flatten(out);
  return out.str();
}

const umessage& fixture(int which) {
  static const umessage ticket = make_ticket_message();
  static const umessage request = make_request_message();
  return which == 0 ? ticket : request;
}

void label(benchmark::State& state) { state.SetLabel(state.range(0) == 0 ? "ticket" : "request"); }

void set_sizes(benchmark::State& state, std::size_t processed) {
  const umessage& record = fixture(static_cast<int>(state.range(0)));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * processed));
  state.counters["flat_bytes"] = static_cast<double>(flat_bytes(record).size());
  state.counters["msgpack_bytes"] = static_cast<double>(msgpack_bytes(record).size());
  label(state);
}

void BM_Flatten(benchmark::State& state) {
  const umessage& record = fixture(static_cast<int>(state.range(0)));
  std::size_t size = 0;
  for (auto _ : state) {
    std::ostringstream out;
    record.flatten(out);
    size = static_cast<std::size_t>(out.tellp());
    benchmark::DoNotOptimize(size);
  }
  set_sizes(state, size);
}

void BM_MsgpackPack(benchmark::State& state) {
  const umessage& record = fixture(static_cast<int>(state.range(0)));
  const std::string bytes = msgpack_bytes(record);
  const msgpack::object_handle document = msgpack::unpack(bytes.data(), bytes.size());
  std::size_t size = 0;
  for (auto _ : state) {
    msgpack::sbuffer buffer;
    msgpack::pack(buffer, document.get());
    size = buffer.size();
    benchmark::DoNotOptimize(buffer.data());
  }
  set_sizes(state, size);
}

void BM_Unflatten(benchmark::State& state) {
  const umessage& record = fixture(static_cast<int>(state.range(0)));
  const std::string bytes = flat_bytes(record);
  std::istringstream in(bytes);
  for (auto _ : state) {
    in.clear();
    in.seekg(0);
    umessage copy;
    if (!copy.unflatten(in)) state.SkipWithError("unflatten failed");
    benchmark::DoNotOptimize(copy);
  }
  set_sizes(state, bytes.size());
}

void BM_MsgpackUnpack(benchmark::State& state) {
  const std::string bytes = msgpack_bytes(fixture(static_cast<int>(state.range(0))));
  for (auto _ : state) {
    msgpack::object_handle document = msgpack::unpack(bytes.data(), bytes.size());
    benchmark::DoNotOptimize(document.get());
  }
  set_sizes(state, bytes.size());
}

// Reference, not a peer: building the same record by deep copy, the least
// any reader of it pays for its allocations.
void BM_CopyRecord(benchmark::State& state) {
  const umessage& record = fixture(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    umessage copy(record);
    benchmark::DoNotOptimize(copy);
  }
  set_sizes(state, flat_bytes(record).size());
}

BENCHMARK(BM_Flatten)->Arg(0)->Arg(1);
BENCHMARK(BM_MsgpackPack)->Arg(0)->Arg(1);
BENCHMARK(BM_Unflatten)->Arg(0)->Arg(1);
BENCHMARK(BM_MsgpackUnpack)->Arg(0)->Arg(1);
BENCHMARK(BM_CopyRecord)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
