"""Registry: construction, argument handling of check and tld_info, rule_count and stats."""

import pytest

EXPECTED_STATS = {
    "compiled_rules": 6946,
    "total_known_suffixes": 6946,
    "registerable": 6574,
    "not_registerable": 371,
    "restricted": 1,
    "coverage_percent": 100.0,
}


class Outer:
    class Inner:
        pass


CALL_ERRORS = [
    # Registry(): positional arguments are judged before keywords.
    (lambda n, r: n.Registry(1), "Registry.__new__() takes 0 positional arguments but 1 was given"),
    (lambda n, r: n.Registry(1, 2), "Registry.__new__() takes 0 positional arguments but 2 were given"),
    (lambda n, r: n.Registry(a=1), "Registry.__new__() got an unexpected keyword argument 'a'"),
    (lambda n, r: n.Registry(1, a=1), "Registry.__new__() takes 0 positional arguments but 1 was given"),
    (lambda n, r: n.Registry.__new__(n.Registry, 1), "Registry.__new__() takes 0 positional arguments but 1 was given"),
    # check
    (lambda n, r: r.check(), "Registry.check() missing 1 required positional argument: 'domain'"),
    (lambda n, r: r.check("example.com", "x"), "Registry.check() takes 1 positional arguments but 2 were given"),
    (lambda n, r: r.check("a", "b", "c", domain="d"), "Registry.check() takes 1 positional arguments but 3 were given"),
    (lambda n, r: r.check("example.com", domain="example.com"), "Registry.check() got multiple values for argument 'domain'"),
    (lambda n, r: r.check(name="example.com"), "Registry.check() got an unexpected keyword argument 'name'"),
    (lambda n, r: r.check(domain="example.com", name="x"), "Registry.check() got an unexpected keyword argument 'name'"),
    (lambda n, r: r.check(**{"domain": "a", "Domain": "b"}), "Registry.check() got an unexpected keyword argument 'Domain'"),
    (lambda n, r: r.check(**{"\udc80": 1}), "Registry.check() got an unexpected keyword argument '\udc80'"),
    (lambda n, r: r.check(5), "argument 'domain': 'int' object is not an instance of 'str'"),
    (lambda n, r: r.check(None), "argument 'domain': 'None' is not an instance of 'str'"),
    (lambda n, r: r.check(b"example.com"), "argument 'domain': 'bytes' object is not an instance of 'str'"),
    (lambda n, r: r.check(domain=Outer.Inner()), "argument 'domain': 'Outer.Inner' object is not an instance of 'str'"),
    # tld_info
    (lambda n, r: r.tld_info(), "Registry.tld_info() missing 1 required positional argument: 'tld'"),
    (lambda n, r: r.tld_info("com", "x"), "Registry.tld_info() takes 1 positional arguments but 2 were given"),
    (lambda n, r: r.tld_info("com", tld="com"), "Registry.tld_info() got multiple values for argument 'tld'"),
    (lambda n, r: r.tld_info(domain="com"), "Registry.tld_info() got an unexpected keyword argument 'domain'"),
    (lambda n, r: r.tld_info(5), "argument 'tld': 'int' object is not an instance of 'str'"),
    (lambda n, r: r.tld_info(None), "argument 'tld': 'None' is not an instance of 'str'"),
    (lambda n, r: r.tld_info(tld=b"com"), "argument 'tld': 'bytes' object is not an instance of 'str'"),
    # The interpreter's own refusals for the no-argument methods.
    (lambda n, r: r.rule_count(1), None),
    (lambda n, r: r.stats(0), None),
    (lambda n, r: r.stats(key=1), None),
]


@pytest.mark.parametrize("call, message", CALL_ERRORS)
def test_wrong_calls_raise_type_error(native, registry, call, message):
    # Made while another exception is handled, the error chains it, as the interpreter's do.
    handled = KeyError("handled")
    try:
        raise handled
    except KeyError:
        with pytest.raises(TypeError) as info:
            call(native, registry)
    assert type(info.value) is TypeError
    assert info.value.__context__ is handled
    if message is not None:
        assert str(info.value) == message
        assert info.value.__cause__ is None


class Name(str):
    """A str subclass whose Python-level methods lie: the text itself must be read."""

    def __str__(self):
        return "evil.example"

    def encode(self, *args, **kwargs):
        return b"evil.example"


def test_str_subclass_gives_the_plain_result(registry):
    assert repr(registry.check(Name("Example.COM"))) == repr(registry.check("Example.COM"))
    assert repr(registry.check(Name("example.de"))) == repr(registry.check("example.de"))
    assert registry.tld_info(Name(".CO.UK")).tld == "co.uk"


@pytest.mark.parametrize("method", ["check", "tld_info"])
@pytest.mark.parametrize("text", ["\udc80", "example\ud800.com", "com\udfff"])
def test_lone_surrogate_raises_unicode_encode_error_unchanged(registry, method, text):
    with pytest.raises(UnicodeEncodeError) as info:
        getattr(registry, method)(text)
    assert type(info.value) is UnicodeEncodeError
    assert info.value.encoding == "utf-8"
    assert "argument" not in str(info.value)


def test_keyword_and_positional_calls_agree(registry):
    assert repr(registry.check(domain="example.com")) == repr(registry.check("example.com"))
    assert repr(registry.tld_info(tld="co.uk")) == repr(registry.tld_info("co.uk"))


def test_registries_are_distinct_and_equivalent(native):
    first, second = native.Registry(), native.Registry()
    assert first is not second
    for text in ["example.com", "example.de", "za.sk", "example.zzz"]:
        assert repr(first.check(text)) == repr(second.check(text))
    assert repr(first.tld_info("de")) == repr(second.tld_info("de"))


def test_every_call_makes_a_new_result(registry):
    a, b = registry.check("example.com"), registry.check("example.com")
    assert a is not b and a != b
    assert (a.status, a.reasons, repr(a)) == (b.status, b.reasons, repr(b))
    x, y = registry.tld_info("de"), registry.tld_info("de")
    assert x is not y and x != y
    assert (x.note, x.sources) == (y.note, y.sources)


def test_rule_count(native, registry):
    assert registry.rule_count() == 6946
    assert native.Registry().rule_count() == 6946
    assert type(registry.rule_count()) is int


def test_stats(registry):
    stats = registry.stats()
    assert stats == EXPECTED_STATS
    assert list(stats) == list(EXPECTED_STATS)
    assert type(stats["coverage_percent"]) is float
    assert all(type(stats[k]) is int for k in EXPECTED_STATS if k != "coverage_percent")
    assert stats["compiled_rules"] == registry.rule_count()
    assert stats["registerable"] + stats["not_registerable"] + stats["restricted"] == stats["compiled_rules"]
    # A new dictionary at every call, owned by the caller.
    stats["restricted"] = -1
    stats["extra"] = 0
    again = registry.stats()
    assert again is not stats
    assert again == EXPECTED_STATS
