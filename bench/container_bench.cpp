// Taking a received container apart through the control's members, one form
// item a call until none is left, against decoding the same text once into
// copies of every item with the container engine. Taking apart should grow
// linearly with the number of items, as the single decode does.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <string>

#include "container/plain_text.h"
#include "control/control.h"

namespace {

// A container of `count` one-byte form items, written directly.
std::string OneByteItems(size_t count) {
  std::string text = std::to_string(count * 9);
  text.insert(0, 8 - text.size(), '0');
  text.reserve(8 + count * 9 + 8);
  for (size_t i = 0; i < count; ++i) {
    text += "00000001";
    text += static_cast<char>('a' + i % 26);
  }
  text += "00000000";
  return text;
}

// The process's peak resident memory so far; run a benchmark alone (with
// --benchmark_filter) for it to be that benchmark's.
void ReportPeakMemory(benchmark::State& state) {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
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
  ReportPeakMemory(state);
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
  ReportPeakMemory(state);
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
// 4,000,000 one-byte items make a text of 36 MB: one call, and every item.
BENCHMARK(TakeFirstFormItem)->Arg(4'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(TakeApartFormItems)->Arg(4'000'000)->Iterations(1)->Unit(benchmark::kMillisecond);
