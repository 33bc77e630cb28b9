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

# "3.12 3.12.1" and the like (ABI flags after the minor version), or nothing when `$1` does not
# run or is not a CPython of 3.11 or later.
describe() {
  timeout 20 "$1" -c 'import sys
if sys.implementation.name == "cpython" and sys.version_info >= (3, 11):
    print("%d.%d%s" % (*sys.version_info[:2], sys.abiflags), sys.version.split()[0])' \
    2>/dev/null || true
}

candidates=()
while IFS= read -r name; do
  path=$(command -v "$name" || true)
  [ -n "$path" ] && candidates+=("$path")
done < <(compgen -c | grep -E '^python3(\.[0-9]+t?)?$' | sort -u)
if command -v pyenv >/dev/null 2>&1; then
  while IFS= read -r version; do
    prefix=$(pyenv prefix "$version" 2>/dev/null || true)
    if [ -n "$prefix" ] && [ -x "$prefix/bin/python3" ]; then
      candidates+=("$prefix/bin/python3")
    fi
  done < <(pyenv versions --bare 2>/dev/null || true)
fi

read -r main_key main_version <<<"$(describe "$main")"
declare -A seen=(["$main_key"]=1)
runs=()
found=("$main_version ($main, .venv)")
for exe in "${candidates[@]}"; do
  read -r key version <<<"$(describe "$exe")"
  if [ -z "$key" ] || [ -n "${seen[$key]:-}" ]; then
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
  bash scripts/bootstrap.sh "$venv" "$exe"
  "$venv/bin/python" -m pytest -q -p no:cacheprovider tests/python "$@"
  ran+=("$version")
done
echo "interpreters run: $main_version (.venv) ${ran[*]}"
