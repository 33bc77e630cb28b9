#!/usr/bin/env bash
# System packages, the project's virtual environment (.venv) and the package installed into it.
# Idempotent; later runs rebuild only what changed.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-system-deps.sh

PY=${PYTHON:-python3}
if [ ! -x .venv/bin/python ]; then
  "$PY" -m venv .venv
fi
.venv/bin/python -m pip install -q --disable-pip-version-check -r requirements-dev.txt
# No build isolation: the build tools come from requirements-dev.txt, and the build directory
# under build/ is reused between runs.
.venv/bin/python -m pip install -q --disable-pip-version-check --no-build-isolation .
