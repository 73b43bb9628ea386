// Taking a received container apart through the control's members, one form
// item a call until none is left, against decoding the same text once into
// copies of every item with the container engine. Taking apart should grow
// linearly with the number of items, as the single decode does.
#include <benchmark/benchmark.h>

#include <string>

#include "container/plain_text.h"
#include "control/control.h"

namespace {

// A container of `count` one-byte form items.
std::string OneByteItems(size_t count) {
  quorvel::container::FormattedPlainText text;
  for (size_t i = 0; i < count; ++i) {
    const char item = static_cast<char>('a' + i % 26);
    text.AddFormItem(std::string_view(&item, 1));
  }
  std::string encoded;
  text.Encode(encoded);
  return encoded;
}

void TakeApartFormItems(benchmark::State& state) {
  const std::string text = OneByteItems(static_cast<size_t>(state.range(0)));
  quorvel::control::CDrennicQuorvel control;
  std::u16string item;
  for (auto _ : state) {
    state.PauseTiming();
    control.SetReceivedPlainTextForTesting(text);
    state.ResumeTiming();
    while (!control.Inspect().receivedPlainText.empty()) {
      benchmark::DoNotOptimize(control.QVGetFormItem(item));
    }
  }
  state.SetComplexityN(state.range(0));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

// One call on a large container: the first item out of `count`.
void TakeFirstFormItem(benchmark::State& state) {
  const std::string text = OneByteItems(static_cast<size_t>(state.range(0)));
  quorvel::control::CDrennicQuorvel control;
  std::u16string item;
  for (auto _ : state) {
    state.PauseTiming();
    control.SetReceivedPlainTextForTesting(text);
    state.ResumeTiming();
    benchmark::DoNotOptimize(control.QVGetFormItem(item));
  }
}

void DecodeOnce(benchmark::State& state) {
  const std::string text = OneByteItems(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    quorvel::container::FormattedPlainText decoded;
    benchmark::DoNotOptimize(decoded.Decode(text));
  }
  state.SetComplexityN(state.range(0));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

}  // namespace

BENCHMARK(TakeApartFormItems)
    ->RangeMultiplier(4)
    ->Range(1 << 12, 1 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);
BENCHMARK(DecodeOnce)
    ->RangeMultiplier(4)
    ->Range(1 << 12, 1 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);
// 4,000,000 one-byte items make a text of 36 MB.
BENCHMARK(TakeFirstFormItem)->Arg(4'000'000)->Unit(benchmark::kMillisecond);
