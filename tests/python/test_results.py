"""CheckResult and TldInfo: attributes, text forms, snapshots."""

import pytest

from support import TLD_INFO_ATTRIBUTES

YES_REPR = (
    "CheckResult(status='yes', reasons=[\"DNS syntax: ok\", "
    "\"TLD rule: label length ok (1-63)\", \"TLD rule: label not in banned list\"])"
)


@pytest.mark.parametrize(
    "domain, text",
    [
        ("", "CheckResult(status='no', reasons=[\"DNS syntax: empty domain\"])"),
        ("example.com", YES_REPR),
        # Single quotes and the em dash stand unescaped.
        (
            "shop.example.com",
            "CheckResult(status='no', reasons=[\"'shop.example.com' is a subdomain of "
            "'example.com' \u2014 retry with 'example.com'\"])",
        ),
        ("example.de", "CheckResult(status='restricted', reasons=[\"TLD rule: .de requires eligibility (resident)\"])"),
        ("example.zzz", "CheckResult(status='unknown', reasons=[\"No data available for TLD 'zzz'\"])"),
    ],
)
def test_check_result_text_form(registry, domain, text):
    result = registry.check(domain)
    assert repr(result) == text
    assert str(result) == text


def test_check_result_reasons_are_a_new_list_at_every_read(registry):
    result = registry.check("example.com")
    first, second = result.reasons, result.reasons
    assert first == second and first is not second
    first.append("tampered")
    first[0] = "changed"
    assert result.reasons == second
    assert repr(result) == YES_REPR


def test_check_result_is_read_only(registry):
    result = registry.check("example.de")
    for attribute in ("status", "reasons"):
        with pytest.raises(AttributeError):
            setattr(result, attribute, "yes")
        with pytest.raises(AttributeError):
            delattr(result, attribute)
    assert result.status == "restricted"


def attributes(info):
    return {name: getattr(info, name) for name in TLD_INFO_ATTRIBUTES} | {"sources": list(info.sources)}


DEFAULTS = {
    "reason": None, "note": None, "restrictions": [], "min_length": 1, "max_length": 63,
    "length_basis": "ascii", "banned": [], "charset": "ascii", "idn_chars": "",
}

RULES = [
    ("com", DEFAULTS | {"tld": "com", "registerable": "yes", "sources": ["registerable"]}),
    (
        "co.uk",
        DEFAULTS | {"tld": "co.uk", "registerable": "yes", "min_length": 3, "sources": ["min_length", "registerable"]},
    ),
    (
        "de",
        DEFAULTS
        | {
            "tld": "de", "registerable": "restricted", "note": ".de requires eligibility (resident)",
            "restrictions": ["resident"], "sources": ["note", "registerable", "restrictions"],
        },
    ),
    (
        "test",
        DEFAULTS
        | {
            "tld": "test", "registerable": "no", "reason": "infrastructure",
            "note": ".test is reserved for testing and not open for public registration",
            "sources": ["note", "reason", "registerable"],
        },
    ),
    (
        "mo.us",
        DEFAULTS
        | {
            "tld": "mo.us", "registerable": "no", "reason": "government",
            "note": ".mo.us is reserved for Missouri government use",
            "sources": ["note", "reason", "registerable"],
        },
    ),
    (
        "google",
        DEFAULTS
        | {
            "tld": "google", "registerable": "no", "reason": "brand_tld",
            "note": "ICANN Spec 13 brand TLD; not open for public registration",
            "sources": ["note", "reason", "registerable"],
        },
    ),
    ("sk", DEFAULTS | {"tld": "sk", "registerable": "yes", "banned": ["za"], "sources": ["banned", "registerable"]}),
]


@pytest.mark.parametrize("suffix, expected", RULES, ids=[r[0] for r in RULES])
def test_tld_info_attributes(registry, suffix, expected):
    info = registry.tld_info(suffix)
    assert attributes(info) == expected
    assert type(info.min_length) is int and type(info.max_length) is int
    for url in info.sources.values():
        assert url.startswith(("https://", "http://"))


@pytest.mark.parametrize(
    "text, expected",
    [
        ("co.uk", "TldInfo(tld='co.uk', registerable='yes')"),
        (".CO.UK", "TldInfo(tld='co.uk', registerable='yes')"),
        ("de", "TldInfo(tld='de', registerable='restricted')"),
        ("xn--flw351e", "TldInfo(tld='xn--flw351e', registerable='no')"),
        # Inserted as stored: no escaping of the Cyrillic letters.
        ("\u0440\u0444", "TldInfo(tld='\u0440\u0444', registerable='yes')"),
        ("*.ck", "TldInfo(tld='*.ck', registerable='yes')"),
    ],
)
def test_tld_info_text_form(registry, text, expected):
    info = registry.tld_info(text)
    assert repr(info) == expected
    assert str(info) == expected


@pytest.mark.parametrize("attribute", ["restrictions", "banned", "sources"])
def test_tld_info_containers_are_snapshots(registry, attribute):
    info = registry.tld_info("de" if attribute != "banned" else "sk")
    first, second = getattr(info, attribute), getattr(info, attribute)
    assert first == second and first is not second
    if isinstance(first, dict):
        first["extra"] = "x"
        first.pop(next(iter(second)))
    else:
        first.append("extra")
        first.clear()
    assert getattr(info, attribute) == second


def test_tld_info_is_read_only(registry):
    info = registry.tld_info("co.uk")
    with pytest.raises(AttributeError):
        info.tld = "com"
    with pytest.raises(AttributeError):
        del info.sources
    with pytest.raises(AttributeError):
        info.extra = 1
    assert info.tld == "co.uk"
    assert list(info.sources) == ["min_length", "registerable"]


def test_unknown_suffix_gives_none(registry):
    assert registry.tld_info("zzz") is None
    assert registry.tld_info("example.com") is None
