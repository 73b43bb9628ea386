#!/usr/bin/env bash
# Short fuzzing run for CI: configures a clang build in build-fuzz/ (once),
# builds every fuzz target, and runs each for a bounded time over its seed
# corpus. Exits non-zero when a target finds a crash, leak or timeout.
#
#   fuzz/run_short.sh                 # 60 seconds per target
#   FUZZ_SECONDS=300 fuzz/run_short.sh
#   FUZZ_RUNS=1000000 fuzz/run_short.sh   # a fixed number of executions instead
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${FUZZ_BUILD_DIR:-$root/build-fuzz}"
seconds="${FUZZ_SECONDS:-60}"
runs="${FUZZ_RUNS:-}"
jobs="${FUZZ_BUILD_JOBS:-2}"

# Each target and the seed corpus it starts from.
targets=(
  "asn1_signed_data_fuzzer:asn1"
  "asn1_template_fuzzer:asn1_template"
  "message_fuzzer:message"
  "signed_data_fuzzer:signed_data"
  "bridge_head_fuzzer:bridge_head"
  "native_frame_fuzzer:native_frame"
  "base64_fuzzer:base64"
  "container_fuzzer:container"
  "decompress_fuzzer:decompress"
  "cert_text_fuzzer:cert_text"
  "rpc_session_fuzzer:rpc_session"
)

if [[ ! -f "$build/CMakeCache.txt" ]]; then
  cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_FUZZ=ON
fi
names=()
for entry in "${targets[@]}"; do names+=("${entry%%:*}"); done
cmake --build "$build" --target "${names[@]}" -j "$jobs"

artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"
status=0
failed=()
for entry in "${targets[@]}"; do
  name="${entry%%:*}"
  seeds="$root/fuzz/corpus/${entry#*:}"
  # New inputs go to a scratch corpus; the committed seeds are only read.
  work="$root/fuzz/corpus-out/$name"
  mkdir -p "$work"
  limit=(-max_total_time="$seconds")
  if [[ -n "$runs" ]]; then limit=(-runs="$runs"); fi
  echo "== $name (${limit[*]})"
  if ! "$build/fuzz/$name" "${limit[@]}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$artifacts/$name-" "$work" "$seeds" 2>&1 | tee "$artifacts/$name.log"; then
    echo "!! $name reported a finding; reproducer in $artifacts" >&2
    failed+=("$name")
    status=1
  fi
done
# The findings again at the end, where a log's tail shows them.
for name in "${failed[@]}"; do
  echo "!! finding of $name:"
  grep -m 8 -E "ERROR|SUMMARY|Test unit written|Base64:|==[0-9]+==" "$artifacts/$name.log" || true
done
exit "$status"
