#!/usr/bin/env bash
# Installs the system packages that the build, the tests, the fuzzer and the benchmark need.
# Idempotent: packages that are already present are left alone and apt is not touched.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config git
  libicu-dev libgtest-dev libbenchmark-dev
  clang libclang-rt-dev
  python3-venv python3-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "installing system packages: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
