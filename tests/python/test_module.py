"""Start-up of zelvar._native: its contents, __all__ and the exec step run again."""

import importlib
import importlib.util
import sys

import pytest

import zelvar

NAMES = ["Registry", "CheckResult", "TldInfo"]
IMPORT_SYSTEM_ATTRIBUTES = {"__name__", "__doc__", "__package__", "__loader__", "__spec__", "__file__"}


def new_module(exec_step=True):
    """A new module object made from the module's definition, as a fresh import would make it."""
    spec = importlib.util.find_spec("zelvar._native")
    module = importlib.util.module_from_spec(spec)
    if exec_step:
        spec.loader.exec_module(module)
    return module


def run_exec_step(module):
    module.__spec__.loader.exec_module(module)


def test_module_holds_exactly_the_three_classes(native):
    assert type(native.__all__) is list
    assert native.__all__ == NAMES
    assert native.__doc__ == ""
    assert set(vars(native)) == IMPORT_SYSTEM_ATTRIBUTES | {"__all__", *NAMES}
    for missing in ("PanicException", "__version__", "version", "check"):
        with pytest.raises(AttributeError):
            getattr(native, missing)


def test_star_import_binds_the_three_names():
    namespace = {}
    exec("from zelvar._native import *", namespace)
    assert set(namespace) - {"__builtins__"} == set(NAMES)


def test_reimport_gives_a_new_module_with_the_same_classes(native):
    saved = sys.modules.pop("zelvar._native")
    try:
        again = importlib.import_module("zelvar._native")
        assert again is not native
        assert again.__all__ == NAMES
        assert again.__all__ is not native.__all__
        for name in NAMES:
            assert getattr(again, name) is getattr(native, name)
    finally:
        sys.modules["zelvar._native"] = saved
        zelvar._native = saved


def _raise_key_error(name):
    raise KeyError(name)


def _raise_attribute_error(name):
    raise AttributeError(name)


@pytest.mark.parametrize(
    "prepare, error, message",
    [
        (lambda m: setattr(m, "__all__", ("x",)), TypeError, "'tuple' object is not an instance of 'list'"),
        (lambda m: setattr(m, "__all__", None), TypeError, "'None' is not an instance of 'list'"),
        # Reading __all__ that fails otherwise than with AttributeError fails the step.
        (lambda m: setattr(m, "__getattr__", _raise_key_error), KeyError, "'__all__'"),
    ],
    ids=["tuple", "none", "key-error"],
)
def test_exec_step_fails_on_a_bad_all_and_adds_nothing(prepare, error, message):
    module = new_module(exec_step=False)
    prepare(module)
    with pytest.raises(error) as info:
        run_exec_step(module)
    assert type(info.value) is error
    assert str(info.value) == message
    for name in NAMES:
        assert name not in vars(module)


@pytest.mark.parametrize(
    "prepare",
    [
        lambda m: setattr(m, "__getattr__", _raise_attribute_error),
        lambda m: setattr(m, "__all__", type("Names", (list,), {})()),
    ],
    ids=["attribute-error-makes-a-new-list", "list-subclass-is-used"],
)
def test_exec_step_accepts_a_missing_all_or_a_list_subclass(prepare, native):
    module = new_module(exec_step=False)
    prepare(module)
    before = vars(module).get("__all__")
    run_exec_step(module)
    assert list(module.__all__) == NAMES
    if before is not None:
        assert module.__all__ is before
    for name in NAMES:
        assert getattr(module, name) is getattr(native, name)
