"""Shared fixtures for the tests of zelvar._native.

The tests exercise the built module as installed (or as PYTHONPATH names it). The source tree's
own zelvar/ package holds no built module, so it must not shadow the installed one when pytest
runs from the repository root (python -m pytest puts the working directory on sys.path).
"""

import os
import sys

import pytest

_SOURCE_ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), os.pardir, os.pardir))
sys.path[:] = [p for p in sys.path if os.path.abspath(p or os.curdir) != _SOURCE_ROOT]


@pytest.fixture(scope="session")
def native():
    import zelvar._native

    return zelvar._native


@pytest.fixture(scope="session")
def registry(native):
    return native.Registry()
