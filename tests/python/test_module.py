"""Start-up of zelvar._native: its contents, __all__ and the exec step run again."""

import ctypes
import importlib
import importlib.util
import shutil
import subprocess
import sys
import sysconfig

import pytest

import zelvar
from support import NAMES, run_python

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


Py_mod_exec = 2
Py_mod_gil = 4
Py_MOD_GIL_NOT_USED = 1


class ModuleDefSlot(ctypes.Structure):
    _fields_ = [("slot", ctypes.c_int), ("value", ctypes.c_void_p)]


class ModuleDef(ctypes.Structure):
    _fields_ = [
        # PyModuleDef_Base: the object header (its size differs between builds), m_init,
        # m_index, m_copy.
        ("ob_base", ctypes.c_byte * object.__basicsize__),
        ("m_init", ctypes.c_void_p),
        ("m_index", ctypes.c_ssize_t),
        ("m_copy", ctypes.c_void_p),
        ("m_name", ctypes.c_char_p),
        ("m_doc", ctypes.c_char_p),
        ("m_size", ctypes.c_ssize_t),
        ("m_methods", ctypes.c_void_p),
        ("m_slots", ctypes.POINTER(ModuleDefSlot)),
    ]


@pytest.fixture(scope="module")
def module_slots(native):
    """The slots of the module's definition, as (slot, value) pairs in their order."""
    api = getattr(ctypes, "pythonapi", None)
    if api is None:
        pytest.skip("ctypes.pythonapi is not available on this interpreter")
    api.PyModule_GetDef.restype = ctypes.POINTER(ModuleDef)
    api.PyModule_GetDef.argtypes = [ctypes.py_object]
    definition = api.PyModule_GetDef(native).contents
    assert definition.m_name == b"_native"
    slots = []
    while definition.m_slots[len(slots)].slot != 0:
        entry = definition.m_slots[len(slots)]
        slots.append((entry.slot, entry.value))
    return slots


@pytest.fixture(scope="module")
def exec_slot(module_slots):
    """The module's exec step, called as the interpreter calls it: importlib runs it once per
    module object only on some versions, and never passes it anything but a module."""
    for slot, value in module_slots:
        if slot == Py_mod_exec:
            # PYFUNCTYPE: called with the interpreter lock held, and an exception that the
            # step raises is raised here.
            return ctypes.PYFUNCTYPE(ctypes.c_int, ctypes.py_object)(value)
    pytest.fail("the module definition has no Py_mod_exec slot")


def test_module_declares_that_it_needs_no_gil_where_the_interpreter_knows_the_slot(native, module_slots):
    # Older interpreters refuse a slot that they do not know, so the declaration exists only
    # from 3.13 on.
    ids = [slot for slot, _ in module_slots]
    if sys.version_info >= (3, 13):
        assert ids == [Py_mod_exec, Py_mod_gil]
        assert dict(module_slots)[Py_mod_gil] == Py_MOD_GIL_NOT_USED
    else:
        assert ids == [Py_mod_exec]
    if sysconfig.get_config_var("Py_GIL_DISABLED"):
        # A free-threaded interpreter would have enabled the lock on importing the module.
        assert not sys._is_gil_enabled()


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


def test_exec_step_run_again_appends_the_same_classes(native, exec_slot):
    module = new_module()
    assert exec_slot(module) == 0
    assert module.__all__ == NAMES + NAMES
    for name in NAMES:
        assert getattr(module, name) is getattr(native, name)


def test_exec_step_refuses_what_is_not_a_module(exec_slot):
    with pytest.raises(TypeError) as info:
        exec_slot(7)
    assert type(info.value) is TypeError
    assert str(info.value) == "'int' object is not an instance of 'module'"


# A fresh interpreter, where no type object exists yet: the k-th allocation during the exec step
# fails, for one k after another, each time on a new module object, until the step succeeds. The
# step runs while another exception is handled, which its error must chain.
FAILING_TYPE_CREATION = """
    import importlib.util
    import sys
    import _testcapi

    def dict_survives_failed_growth():
        # Some interpreters (3.13.0) count an entry whose insertion failed for want of memory;
        # building a type dictionary then corrupts it and crashes the interpreter itself.
        d = {"k%d" % i: i for i in range(5)}
        error = None
        _testcapi.set_nomemory(0, 1)
        try:
            d.setdefault("grow", 1)
        except BaseException as e:
            error = e
        finally:
            _testcapi.remove_mem_hooks()
        if error is None:
            return "grow" in d and len(d) == 6
        return type(error) is MemoryError and "grow" not in d and len(d) == 5

    if not dict_survives_failed_growth():
        print("skip")
        sys.exit()
    spec = importlib.util.find_spec("zelvar._native")

    def attempt(module, k):
        error = None
        try:
            raise KeyError("handled")
        except KeyError:
            _testcapi.set_nomemory(k, k + 1)
            try:
                spec.loader.exec_module(module)
            except BaseException as e:
                error = e
            finally:
                _testcapi.remove_mem_hooks()
        return error

    for k in range(500):
        module = importlib.util.module_from_spec(spec)
        error = attempt(module, k)
        if error is None:
            break
        if str(error) == "An error occurred while initializing class Registry":
            names = sorted(set(vars(module)) & {"__all__", "Registry", "CheckResult", "TldInfo"})
            print(type(error).__name__, type(error.__cause__).__name__, type(error.__context__).__name__, names)
    print("done", module.__all__)
    import zelvar._native as native
    print(all(getattr(native, name) is getattr(module, name) for name in module.__all__))
"""


def test_type_object_that_cannot_be_made_fails_the_exec_step():
    pytest.importorskip("_testcapi")
    process = run_python(FAILING_TYPE_CREATION)
    assert process.returncode == 0, process.stderr
    if process.stdout == "skip\n":
        pytest.skip("this interpreter corrupts a dict whose growth fails for want of memory")
    *failures, done, same = process.stdout.splitlines()
    assert failures, "no allocation inside the creation of Registry's type object failed"
    # The interpreter's error is the cause; it may also fail without naming one (SystemError).
    assert "RuntimeError MemoryError KeyError []" in failures
    assert set(failures) <= {"RuntimeError MemoryError KeyError []", "RuntimeError SystemError KeyError []"}
    # A failed creation is tried again by the next exec step.
    assert done == "done ['Registry', 'CheckResult', 'TldInfo']"
    assert same == "True"


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="reads the ELF dynamic symbol table")
def test_module_file_exports_only_its_init_function(native):
    nm = shutil.which("nm")
    if nm is None:
        pytest.skip("nm (binutils) is not installed")
    listing = subprocess.run([nm, "-D", "--defined-only", native.__file__], capture_output=True, text=True, check=True)
    assert [line.split()[-1] for line in listing.stdout.splitlines()] == ["PyInit__native"]


REFUSED = "ImportError: module zelvar._native does not support loading in subinterpreters"

def in_new_interpreter(module, config):
    """The way of `module` that makes an interpreter by `config` and runs SUB there."""
    return module, (f"i = {module}.create({config}); assert {module}.run_string(i, SUB) is None; "
                    f"{module}.destroy(i)")


# Each way that an interpreter may offer to run the text SUB in a subinterpreter: the module it
# needs, and the statements that run SUB there. The legacy ones share the main interpreter's lock;
# the isolated ones, which the interpreter itself refuses from 3.12 on, must say the same.
SUBINTERPRETER_WAYS = {
    "testcapi-run_in_subinterp": ("_testcapi", "assert _testcapi.run_in_subinterp(SUB) == 0"),
    "interpreters-legacy": in_new_interpreter("_interpreters", "'legacy'"),
    "interpreters-isolated": in_new_interpreter("_interpreters", "'isolated'"),
    "xxsubinterpreters-legacy": in_new_interpreter("_xxsubinterpreters", "isolated=False"),
    "xxsubinterpreters-isolated": in_new_interpreter("_xxsubinterpreters", "isolated=True"),
}

SUBINTERPRETER_IMPORT = """
    import sys
    try:
        import {way_module}
    except ImportError:
        print("missing", flush=True)
        sys.exit()
    SUB = '''if True:
        try:
            import zelvar._native
        except BaseException as e:
            print("sub:", type(e).__name__ + ":", e, flush=True)
        else:
            print("sub: imported", flush=True)
    '''
    if {main_first}:
        import zelvar._native as first
        print("main first:", first.Registry().check("example.com").status, flush=True)
    {run}
    {run}
    import zelvar._native as native
    print("main:", native.Registry().check("example.com").status, flush=True)
    if {main_first}:
        assert native is first
    del sys.modules["zelvar._native"]
    import zelvar._native as again
    assert again is not native
    print("again:", again.Registry is native.Registry, again.Registry().check("example.de").status)
"""


@pytest.mark.parametrize("main_first", [True, False], ids=["main-first", "subinterpreter-first"])
@pytest.mark.parametrize("way", SUBINTERPRETER_WAYS)
def test_subinterpreter_import_is_refused_and_the_main_interpreter_is_unharmed(way, main_first):
    # A subprocess each: a type object shared with another interpreter crashed the process.
    way_module, run = SUBINTERPRETER_WAYS[way]
    process = run_python(SUBINTERPRETER_IMPORT.format(way_module=way_module, run=run, main_first=main_first))
    assert process.returncode == 0, process.stderr
    if process.stdout == "missing\n":
        pytest.skip(f"this interpreter has no {way_module}")
    expected = ["main first: yes"] if main_first else []
    # A second try in another subinterpreter is refused the same way: the first left nothing.
    expected += ["sub: " + REFUSED, "sub: " + REFUSED, "main: yes", "again: True restricted"]
    assert process.stdout.splitlines() == expected


# A class of a subinterpreter must never take over the lookups of the module's classes, nor may
# a freed one run: with shared type objects this printed 'hijacked' and then crashed.
SUBINTERPRETER_CLASS_TAKEOVER = """
    import sys, zelvar._native as n
    n.Registry().check("example.com")
    code = '''
    import gc, zelvar._native as n
    R = n.Registry; cs = []
    for i in range(3000):
        S = type("S", (), {"check": eval("lambda self, d: 'hijacked'")})
        getattr(S, "check"); getattr(S, "check"); cs.append(S)
    print(R().check("example.com"))
    del cs, S; gc.collect()
    print(R().check("example.com"))
    '''
    if sys.version_info >= (3, 13):
        import _interpreters as I
        i = I.create("legacy")
        print(I.run_string(i, code).formatted)
    else:
        import _xxsubinterpreters as I
        i = I.create(isolated=False)
        try:
            I.run_string(i, code)
        except I.RunFailedError as e:
            print(e)
    print(n.Registry().check("example.com").status)
"""


def test_subinterpreter_class_cannot_take_over_the_module_classes():
    way_module = "_interpreters" if sys.version_info >= (3, 13) else "_xxsubinterpreters"
    if importlib.util.find_spec(way_module) is None:
        pytest.skip(f"this interpreter has no {way_module}")
    process = run_python(SUBINTERPRETER_CLASS_TAKEOVER)
    assert process.returncode == 0, process.stderr
    refusal, status = process.stdout.splitlines()
    assert refusal in (REFUSED, "<class 'ImportError'>: " + REFUSED.split(": ", 1)[1])
    assert status == "yes"
