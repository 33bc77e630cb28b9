#!/usr/bin/env bash
# The benchmark: builds and runs the C++ microbenchmark of the core stages, then times
# Registry.check against the floor and the peers in Python, prints the figures and writes them
# to bench/results.json. Everything it installs goes into its own environment, bench/.venv;
# it builds in build/bench (C++) and build/bench-wheel (the package). Runs offline once the
# packages are installed.
#
#   bash bench/run.sh           # the full run (about two and a half minutes)
#   bash bench/run.sh --quick   # fewer rounds and repetitions, no 10 MB texts
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

quick=()
min_time=0.1
reps=9
if [ "${1:-}" = "--quick" ]; then
  quick=(--quick)
  min_time=0.03
  reps=3
fi

bash scripts/install-system-deps.sh

venv=bench/.venv
pip=("$venv/bin/python" -m pip install -q --disable-pip-version-check)
if [ ! -x "$venv/bin/python" ]; then
  "${PYTHON:-python3}" -m venv "$venv"
fi
"${pip[@]}" "scikit-build-core>=0.10" -r bench/requirements.txt
# Our own build directory: build/{wheel_tag} belongs to scripts/bootstrap.sh.
"${pip[@]}" --no-build-isolation -C build-dir=build/bench-wheel .

echo "== C++ microbenchmark (build/bench)"
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DZELVAR_BUILD_TESTS=OFF -DZELVAR_BUILD_BENCH=ON >/dev/null
cmake --build build/bench -j "$(nproc 2>/dev/null || echo 2)" --target zelvar_bench >/dev/null
"$venv/bin/python" bench/corpus.py --hex-out build/bench/corpus.hex --summary
build/bench/bench/zelvar_bench --corpus=build/bench/corpus.hex \
  --benchmark_repetitions="$reps" --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true --benchmark_display_aggregates_only=true \
  --benchmark_min_time="$min_time" \
  --benchmark_out=build/bench/cpp.json --benchmark_out_format=json >build/bench/cpp.txt
echo "C++ figures in build/bench/cpp.json (console form in build/bench/cpp.txt)"

echo "== Python benchmark"
"$venv/bin/python" bench/bench.py --list "$root/tools/data/public_suffix_list.dat" \
  --cpp-json build/bench/cpp.json --out bench/results.json "${quick[@]}"
