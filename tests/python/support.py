"""Helpers shared by the test modules."""

import os
import subprocess
import sys
import textwrap

# Set by run_sanitized.sh: the module is built with AddressSanitizer, which rules out limits on
# the address space and makes the long runs too slow.
SANITIZED = os.environ.get("ZELVAR_SANITIZED") == "1"

# The module's classes, in the order of __all__.
NAMES = ["Registry", "CheckResult", "TldInfo"]
# TldInfo's attributes, in the order of its record, sources last.
TLD_INFO_ATTRIBUTES = [
    "tld", "registerable", "reason", "note", "restrictions", "min_length", "max_length",
    "length_basis", "banned", "charset", "idn_chars", "sources",
]


def run_python(code, timeout=300):
    """Runs `code` in a fresh interpreter that sees the same modules; returns the finished process."""
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
    return subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)],
        capture_output=True,
        text=True,
        timeout=timeout,
        env=env,
        cwd=os.path.dirname(os.path.abspath(__file__)),
    )
