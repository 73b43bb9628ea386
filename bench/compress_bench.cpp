// The exported gzip-member compression against zlib's own gzip-wrapped deflate
// (window bits 31) with the same parameters, over a signed-message-like input.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "container/compress.h"

namespace {

std::string TextLikeInput(size_t size) {
  std::string text;
  while (text.size() < size) text += "amount=100.00&payee=Zhang San&memo=monthly rent;";
  text.resize(size);
  return text;
}

void MemCompress(benchmark::State& state) {
  const std::string input = TextLikeInput(static_cast<size_t>(state.range(0)));
  std::vector<unsigned char> out(input.size() + input.size() / 1000 + 64);
  for (auto _ : state) {
    int length = static_cast<int>(out.size());
    benchmark::DoNotOptimize(mem_compress(reinterpret_cast<const unsigned char*>(input.data()),
                                          static_cast<int>(input.size()), out.data(), &length));
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void ZlibGzipDeflate(benchmark::State& state) {
  const std::string input = TextLikeInput(static_cast<size_t>(state.range(0)));
  std::vector<unsigned char> out(input.size() + input.size() / 1000 + 64);
  for (auto _ : state) {
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
    stream.avail_in = static_cast<uInt>(input.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    benchmark::DoNotOptimize(deflate(&stream, Z_FINISH));
    deflateEnd(&stream);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void MemUncompress(benchmark::State& state) {
  const std::string input = TextLikeInput(static_cast<size_t>(state.range(0)));
  std::vector<unsigned char> packed(input.size() + input.size() / 1000 + 64);
  int packedLength = static_cast<int>(packed.size());
  mem_compress(reinterpret_cast<const unsigned char*>(input.data()), static_cast<int>(input.size()),
               packed.data(), &packedLength);
  std::vector<unsigned char> out(input.size());
  for (auto _ : state) {
    int length = static_cast<int>(out.size());
    benchmark::DoNotOptimize(mem_uncompress(packed.data(), packedLength, out.data(), &length));
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void ZlibGzipInflate(benchmark::State& state) {
  const std::string input = TextLikeInput(static_cast<size_t>(state.range(0)));
  std::vector<unsigned char> packed(input.size() + input.size() / 1000 + 64);
  int packedLength = static_cast<int>(packed.size());
  mem_compress(reinterpret_cast<const unsigned char*>(input.data()), static_cast<int>(input.size()),
               packed.data(), &packedLength);
  std::vector<unsigned char> out(input.size());
  for (auto _ : state) {
    z_stream stream{};
    inflateInit2(&stream, 31);
    stream.next_in = packed.data();
    stream.avail_in = static_cast<uInt>(packedLength);
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    benchmark::DoNotOptimize(inflate(&stream, Z_FINISH));
    inflateEnd(&stream);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

BENCHMARK(MemCompress)->Arg(51200)->Arg(1 << 20);
BENCHMARK(ZlibGzipDeflate)->Arg(51200)->Arg(1 << 20);
BENCHMARK(MemUncompress)->Arg(51200)->Arg(1 << 20);
BENCHMARK(ZlibGzipInflate)->Arg(51200)->Arg(1 << 20);

}  // namespace
