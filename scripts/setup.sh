#!/usr/bin/env bash
# Sets up everything on a fresh machine, builds and installs the module, and runs a short
# demonstration.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/bootstrap.sh
.venv/bin/python scripts/demo.py
