// Base64 with the control's line layout against OpenSSL's block encoder and
// decoder over the same bytes.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <random>
#include <string>
#include <vector>

#include "platform/text/base64.h"

namespace {

std::string RandomBytes(size_t size) {
  std::mt19937 random(42);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

void OurEncode(benchmark::State& state) {
  const std::string bytes = RandomBytes(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(quorvel::platform::Base64Encode(bytes));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void OpensslEncode(benchmark::State& state) {
  const std::string bytes = RandomBytes(static_cast<size_t>(state.range(0)));
  std::vector<unsigned char> out(bytes.size() / 3 * 4 + 8);
  for (auto _ : state) {
    benchmark::DoNotOptimize(EVP_EncodeBlock(out.data(),
                                             reinterpret_cast<const unsigned char*>(bytes.data()),
                                             static_cast<int>(bytes.size())));
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void OurDecode(benchmark::State& state) {
  const std::string text =
      quorvel::platform::Base64Encode(RandomBytes(static_cast<size_t>(state.range(0))));
  std::string bytes;
  for (auto _ : state) benchmark::DoNotOptimize(quorvel::platform::Base64Decode(text, bytes));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void OpensslDecode(benchmark::State& state) {
  // OpenSSL's block decoder takes the text without line feeds.
  std::string text =
      quorvel::platform::Base64Encode(RandomBytes(static_cast<size_t>(state.range(0))));
  std::erase(text, '\n');
  std::vector<unsigned char> out(text.size());
  for (auto _ : state) {
    benchmark::DoNotOptimize(EVP_DecodeBlock(out.data(),
                                             reinterpret_cast<const unsigned char*>(text.data()),
                                             static_cast<int>(text.size())));
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

BENCHMARK(OurEncode)->Arg(1 << 10)->Arg(10 << 20);
BENCHMARK(OpensslEncode)->Arg(1 << 10)->Arg(10 << 20);
BENCHMARK(OurDecode)->Arg(1 << 10)->Arg(10 << 20);
BENCHMARK(OpensslDecode)->Arg(1 << 10)->Arg(10 << 20);

}  // namespace
