"""Shared fixtures for the tests of zelvar._native, the built module as installed (or as
PYTHONPATH names it)."""

import pytest


@pytest.fixture(scope="session")
def native():
    import zelvar._native

    return zelvar._native


@pytest.fixture(scope="session")
def registry(native):
    return native.Registry()
