#!/usr/bin/env bash
# Builds the libFuzzer target with clang in build/fuzz and runs it for a bounded time
# (ZELVAR_FUZZ_SECONDS, default 60). Any finding (crash, sanitizer report, leak, timeout,
# failed invariant) fails the script; the input is kept in build/fuzz/artifacts.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-system-deps.sh

seconds="${ZELVAR_FUZZ_SECONDS:-60}"
build=build/fuzz
work=fuzz/corpus-work

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZELVAR_BUILD_FUZZER=ON -DZELVAR_BUILD_TESTS=OFF -DZELVAR_BUILD_PYTHON=OFF >/dev/null
cmake --build "$build" --target zelvar_fuzz

mkdir -p "$work" "$build/artifacts"
echo "== fuzzing Registry::check and Registry::tld_info for ${seconds}s"
if ! ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  "$build/fuzz/zelvar_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
  -max_len=4096 -dict=fuzz/zelvar.dict -artifact_prefix="$build/artifacts/" \
  -print_final_stats=1 "$work" fuzz/corpus >"$build/fuzz.log" 2>&1; then
  tail -n 60 "$build/fuzz.log" >&2
  echo "fuzzer finding; the input is in $build/artifacts/, the log in $build/fuzz.log" >&2
  exit 1
fi
grep -E '^(Done|stat::number_of_executed_units)' "$build/fuzz.log" || true
