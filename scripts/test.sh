#!/usr/bin/env bash
# Runs every test: the C++ tests (plain and under AddressSanitizer and
# UndefinedBehaviorSanitizer) through ctest, a bounded fuzzing run, and the Python tests through
# pytest (plain and against the sanitized extension, then on every other CPython found).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/bootstrap.sh

jobs=$(nproc 2>/dev/null || echo 2)

echo "== C++ tests"
cmake -S . -B build/release -G Ninja -DZELVAR_BUILD_TESTS=ON >/dev/null
cmake --build build/release -j "$jobs"
ctest --test-dir build/release --output-on-failure -j "$jobs"

echo "== C++ tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZELVAR_BUILD_TESTS=ON -DZELVAR_SANITIZE=address,undefined >/dev/null
cmake --build build/sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/sanitize --output-on-failure -j "$jobs"

bash fuzz/run.sh

echo "== Python tests"
.venv/bin/python -m pytest -q
bash tests/python/run_sanitized.sh
bash tests/python/run_interpreters.sh
