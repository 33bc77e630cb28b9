"""The three type objects and the life of their instances."""

import gc
import inspect
import sys
import weakref

import pytest

from support import NAMES, TLD_INFO_ATTRIBUTES, run_python

Py_TPFLAGS_IMMUTABLETYPE = 1 << 8
Py_TPFLAGS_HEAPTYPE = 1 << 9
Py_TPFLAGS_BASETYPE = 1 << 10
Py_TPFLAGS_HAVE_GC = 1 << 14

CHECK_RESULT_ATTRIBUTES = ["status", "reasons"]


@pytest.fixture(scope="module")
def instances(registry):
    return {
        "Registry": registry,
        "CheckResult": registry.check("example.com"),
        "TldInfo": registry.tld_info("com"),
    }


@pytest.mark.parametrize("name", NAMES)
def test_type_object_shape(native, name):
    cls = getattr(native, name)
    assert cls.__module__ == "builtins"
    assert cls.__name__ == cls.__qualname__ == name
    assert cls.__base__ is object
    assert cls.__flags__ & Py_TPFLAGS_HEAPTYPE
    for absent in (Py_TPFLAGS_BASETYPE, Py_TPFLAGS_HAVE_GC, Py_TPFLAGS_IMMUTABLETYPE):
        assert not cls.__flags__ & absent
    assert cls.__dictoffset__ == 0
    assert cls.__weakrefoffset__ == 0
    with pytest.raises(TypeError):
        type("Derived", (cls,), {})
    # The type objects stay mutable.
    cls.extra = 1
    del cls.extra


def test_documentation_is_text_signatures_only(native):
    assert native.Registry.__text_signature__ == "()"
    assert str(inspect.signature(native.Registry)) == "()"
    assert native.CheckResult.__doc__ is None
    assert native.TldInfo.__doc__ is None
    for method, signature in [
        ("check", "($self, domain)"),
        ("tld_info", "($self, tld)"),
        ("rule_count", "($self)"),
        ("stats", "($self)"),
    ]:
        descriptor = vars(native.Registry)[method]
        assert descriptor.__text_signature__ == signature
        assert descriptor.__doc__ is None


def test_registry_methods_in_order(native):
    methods = [k for k in vars(native.Registry) if not k.startswith("__")]
    assert methods == ["check", "tld_info", "rule_count", "stats"]


@pytest.mark.parametrize(
    "name, attributes", [("CheckResult", CHECK_RESULT_ATTRIBUTES), ("TldInfo", TLD_INFO_ATTRIBUTES)]
)
def test_attributes_are_read_only_descriptors_with_empty_docs(native, name, attributes):
    cls = getattr(native, name)
    assert sorted(k for k in vars(cls) if not k.startswith("__")) == sorted(attributes)
    for attribute in attributes:
        descriptor = vars(cls)[attribute]
        assert descriptor.__doc__ == ""
        assert inspect.isdatadescriptor(descriptor)


@pytest.mark.parametrize("name", ["CheckResult", "TldInfo"])
def test_only_registry_can_be_instantiated(native, name):
    with pytest.raises(TypeError, match="cannot create"):
        getattr(native, name)()
    assert type(native.Registry()) is native.Registry


@pytest.mark.parametrize("name", NAMES)
def test_instances_have_no_dict_weakrefs_or_gc(instances, name):
    obj = instances[name]
    assert not hasattr(obj, "__dict__")
    with pytest.raises(AttributeError):
        obj.x = 1
    with pytest.raises(TypeError):
        weakref.ref(obj)
    assert not gc.is_tracked(obj)


def test_methods_refuse_a_foreign_self(native):
    with pytest.raises(TypeError, match="descriptor 'check'"):
        native.Registry.check(5, "example.com")
    with pytest.raises(TypeError):
        native.Registry.__new__(int)


@pytest.mark.parametrize("name", NAMES)
def test_instances_release_their_type_reference(native, instances, registry, name):
    cls = getattr(native, name)
    make = {
        "Registry": native.Registry,
        "CheckResult": lambda: registry.check("example.com"),
        "TldInfo": lambda: registry.tld_info("com"),
    }[name]
    before = sys.getrefcount(cls)
    objects = [make() for _ in range(1000)]
    assert sys.getrefcount(cls) == before + 1000
    del objects
    assert sys.getrefcount(cls) == before


# The type objects are mutable, so Python code can give a class a __new__ that reaches
# object.__new__ and allocates an instance that no constructor filled. Such an instance must
# read as an empty record and be released cleanly. In a fresh interpreter: the classes are
# changed for good.
FORGED_INSTANCES = """
    import sys
    import zelvar._native as native

    TLD_INFO_FIELDS = %r
    reads = {
        "Registry": lambda x: [x.check("example.com").status, repr(x.tld_info("com")), x.rule_count(),
                               x.stats()["restricted"], type(repr(x)).__name__],
        "CheckResult": lambda x: [x.status, x.reasons, repr(x), str(x)],
        "TldInfo": lambda x: [getattr(x, a) for a in TLD_INFO_FIELDS] + [repr(x), str(x)],
    }
    for name, read in reads.items():
        cls = getattr(native, name)
        cls.__new__ = staticmethod(lambda c: object.__new__(c))
        before = sys.getrefcount(cls)
        forged = [cls.__new__(cls) for _ in range(100)]
        print(name, type(forged[0]) is cls, read(forged[0]))
        del forged
        print(name, sys.getrefcount(cls) == before)
    print(native.Registry().check("example.com").status)
""" % (TLD_INFO_ATTRIBUTES,)


def test_forged_instances_read_as_empty_records():
    process = run_python(FORGED_INSTANCES)
    assert process.returncode == 0, process.stderr
    assert process.stdout.splitlines() == [
        "Registry True ['yes', \"TldInfo(tld='com', registerable='yes')\", 6946, 1, 'str']",
        "Registry True",
        "CheckResult True ['', [], \"CheckResult(status='', reasons=[])\", \"CheckResult(status='', reasons=[])\"]",
        "CheckResult True",
        "TldInfo True ['', '', None, None, [], 0, 0, '', [], '', '', {}, "
        "\"TldInfo(tld='', registerable='')\", \"TldInfo(tld='', registerable='')\"]",
        "TldInfo True",
        "yes",
    ]
    assert process.stderr == ""
