// Listing the personal certificates of many issuer DNs through the control's
// member, over a home that `quorvel demo-pki` fills: the work should grow
// linearly with the number of DNs (each piece "a" names no issuer), not with
// DNs times store reads.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "control/control.h"

namespace {

// A demo home made once for the whole run in a private temporary folder,
// removed at exit.
class DemoHome {
 public:
  DemoHome() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "quorvel-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return;
    root_ = pattern;
    const std::string home = (root_ / "home").string();
    ::setenv("QUORVEL_HOME", home.c_str(), 1);
    ::setenv("QUORVEL_UI", "none", 1);
    const std::string command = std::string("'") + QUORVEL_PROGRAM + "' demo-pki >/dev/null";
    ready_ = std::system(command.c_str()) == 0;
  }
  DemoHome(const DemoHome&) = delete;
  DemoHome& operator=(const DemoHome&) = delete;
  ~DemoHome() {
    std::error_code ignored;
    if (!root_.empty()) std::filesystem::remove_all(root_, ignored);
  }

  bool ready() const { return ready_; }

 private:
  std::filesystem::path root_;
  bool ready_ = false;
};

bool PrepareDemoHome() {
  static const DemoHome home;
  return home.ready();
}

void EnumCertsByManyIssuers(benchmark::State& state) {
  if (!PrepareDemoHome()) {
    state.SkipWithError("quorvel demo-pki failed");
    return;
  }
  std::u16string issuers = u"O=ZuvirOrori, OU=config, CN=ZAZU";
  for (int64_t i = 0; i < state.range(0); ++i) issuers += u";a";
  quorvel::control::CDrennicQuorvel control;
  std::u16string subjects;
  for (auto _ : state) {
    benchmark::DoNotOptimize(control.QVEnumCertsDNByIssers(issuers, subjects));
  }
  if (subjects.empty()) state.SkipWithError("ZAZU listed no subjects");
  state.SetComplexityN(state.range(0));
}

}  // namespace

// 16,368 pieces after ZAZU's DN make the longest text the member takes.
BENCHMARK(EnumCertsByManyIssuers)
    ->RangeMultiplier(4)
    ->Range(1 << 6, 1 << 12)
    ->Arg(16'368)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);
