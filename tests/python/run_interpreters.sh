#!/usr/bin/env bash
# Builds the module and runs the Python tests with every other CPython of 3.11 or later that this
# machine has: on PATH, and through pyenv where pyenv is installed (its shims may refuse to run,
# so each version's own interpreter is asked for). One interpreter per minor version (and ABI,
# for free-threaded builds); the one of .venv has run the tests already and is not run again.
# Each gets its own virtual environment under build/venvs. An absent version is skipped, not a
# failure. Extra arguments go to pytest.
set -euo pipefail
cd "$(dirname "$0")/../.."
echo "== Python tests on every interpreter found"

main=${PYTHON:-$PWD/.venv/bin/python}

# "cpython 3.12 3.12.1" and the like (ABI flags after the minor version), or nothing when `$1`
# does not run or is not CPython.
describe() {
  timeout 20 "$1" -c 'import sys
if sys.implementation.name == "cpython":
    print("%d.%d%s" % (sys.version_info[0], sys.version_info[1], getattr(sys, "abiflags", "")),
          sys.version.split()[0], sys.version_info >= (3, 11))' 2>/dev/null || true
}

candidates=()
while IFS= read -r name; do
  path=$(command -v "$name" || true)
  [ -n "$path" ] && candidates+=("$path")
done < <(compgen -c | grep -E '^python3(\.[0-9]+t?)?$' | sort -u)
if command -v pyenv >/dev/null 2>&1; then
  while IFS= read -r version; do
    prefix=$(pyenv prefix "$version" 2>/dev/null || true)
    for exe in "$prefix/bin/python3" "$prefix/bin/python"; do
      if [ -n "$prefix" ] && [ -x "$exe" ]; then
        candidates+=("$exe")
        break
      fi
    done
  done < <(pyenv versions --bare --skip-aliases 2>/dev/null || pyenv versions --bare 2>/dev/null || true)
fi

read -r main_key main_version _ <<<"$(describe "$main")"
declare -A seen=(["$main_key"]=1)
runs=()
found=("$main_version ($main, .venv)")
for exe in "${candidates[@]}"; do
  read -r key version recent <<<"$(describe "$exe")"
  [ "${recent:-}" = "True" ] || continue
  if [ -n "${seen[$key]:-}" ]; then
    continue
  fi
  seen[$key]=1
  runs+=("$key|$version|$exe")
  found+=("$version ($exe)")
done
echo "interpreters found: ${found[*]}"
if [ ${#runs[@]} -eq 0 ]; then
  echo "no other CPython of 3.11 or later: nothing more to run"
  exit 0
fi

ran=()
for run in "${runs[@]}"; do
  IFS='|' read -r key version exe <<<"$run"
  echo "== Python tests on CPython $version ($exe)"
  venv=build/venvs/cp$key
  if [ ! -x "$venv/bin/python" ]; then
    "$exe" -m venv "$venv"
  fi
  "$venv/bin/python" -m pip install -q --disable-pip-version-check -r requirements-dev.txt
  "$venv/bin/python" -m pip install -q --disable-pip-version-check --no-build-isolation .
  "$venv/bin/python" -m pytest -q -p no:cacheprovider tests/python "$@"
  ran+=("$version")
done
echo "interpreters run: $main_version (.venv) ${ran[*]}"
