#!/usr/bin/env bash
# Runs the Python tests against the extension built with AddressSanitizer and
# UndefinedBehaviorSanitizer (build/python-asan). The interpreter is not instrumented, so the
# ASan runtime is preloaded into it; leak detection is off because the interpreter keeps memory
# until it exits. Extra arguments go to pytest.
set -euo pipefail
cd "$(dirname "$0")/../.."
echo "== Python tests under AddressSanitizer and UndefinedBehaviorSanitizer"

jobs=$(nproc 2>/dev/null || echo 2)
python=${PYTHON:-$PWD/.venv/bin/python}
build=build/python-asan
if [ ! -x "$python" ]; then
  echo "no $python: run scripts/bootstrap.sh first" >&2
  exit 1
fi

# g++ on purpose: the runtime preloaded below is g++'s.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=g++ \
  -DZELVAR_BUILD_PYTHON=ON -DZELVAR_BUILD_TESTS=OFF -DZELVAR_SANITIZE=address,undefined \
  -DPython_EXECUTABLE="$python" >/dev/null
cmake --build "$build" -j "$jobs"

# A package directory of its own, so that the instrumented module is the one imported.
stage="$build/stage"
rm -rf "$stage"
mkdir -p "$stage/zelvar"
cp python/zelvar/__init__.py "$stage/zelvar/"
cp "$build"/src/python/_native*.so "$stage/zelvar/"

# libstdc++ too: the interpreter does not load it, and ASan resolves its __cxa_throw interceptor
# when it starts, so without it the first C++ throw inside the module fails ASan's own check.
LD_PRELOAD="$(g++ -print-file-name=libasan.so):$(readlink -f "$(g++ -print-file-name=libstdc++.so)")" \
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
ZELVAR_SANITIZED=1 \
PYTHONPATH="$PWD/$stage" \
  "$python" -m pytest -q -p no:cacheprovider tests/python "$@"
