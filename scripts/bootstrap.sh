#!/usr/bin/env bash
# System packages, a virtual environment (.venv, or the folder given first) made with
# $PYTHON (or python3, or the interpreter given second), and the package installed into it.
# Idempotent; later runs rebuild only what changed.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-system-deps.sh

venv=${1:-.venv}
PY=${2:-${PYTHON:-python3}}
if [ ! -x "$venv/bin/python" ]; then
  "$PY" -m venv "$venv"
fi
"$venv/bin/python" -m pip install -q --disable-pip-version-check -r requirements-dev.txt
# No build isolation: the build tools come from requirements-dev.txt, and the build directory
# under build/ (one per interpreter) is reused between runs.
"$venv/bin/python" -m pip install -q --disable-pip-version-check --no-build-isolation .
