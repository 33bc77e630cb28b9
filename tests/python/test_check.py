"""The check from end to end, as Python sees it: one row per kind of verdict."""

import pytest


def passed(low, high):
    return ["DNS syntax: ok", f"TLD rule: label length ok ({low}-{high})", "TLD rule: label not in banned list"]


def no(reason):
    return ("no", [reason])


def tld_only(suffix):
    return no(f"no registrable label found \u2014 '{suffix}' is a TLD, not a domain")


def subdomain(name, registrable):
    return no(f"'{name}' is a subdomain of '{registrable}' \u2014 retry with '{registrable}'")


def unknown(suffix):
    return ("unknown", [f"No data available for TLD '{suffix}'"])


EMPTY = no("DNS syntax: empty domain")
EMPTY_LABEL = no("DNS syntax: empty label")
INVALID = no("DNS syntax: label contains invalid characters")
IDN_COM = no("TLD rule: .com does not support IDN (charset is ASCII only)")
BRAND = no("TLD rule: ICANN Spec 13 brand TLD; not open for public registration")

ROWS = [
    # Trimming, trailing dots and folding.
    ("  Example.COM. ", ("yes", passed(1, 63))),
    ("example.com..", ("yes", passed(1, 63))),
    ("\u00a0example.com\u3000", ("yes", passed(1, 63))),
    ("", EMPTY),
    ("   ", EMPTY),
    ("...", EMPTY),
    (" . ", EMPTY),
    ("\u00ad", EMPTY),
    ("example.com. .", INVALID),
    ("example.com\x1f", INVALID),
    # Structure.
    ("com", tld_only("com")),
    ("sk", tld_only("sk")),
    ("shop.example.com", subdomain("shop.example.com", "example.com")),
    ("Shop.Example.COM", subdomain("shop.example.com", "example.com")),
    ("shop.b\u00fccher.com", subdomain("shop.xn--bcher-kva.com", "xn--bcher-kva.com")),
    ("example.zzz", unknown("zzz")),
    ("zzz", tld_only("zzz")),
    ("shop.example.zzz", subdomain("shop.example.zzz", "example.zzz")),
    ("example.123", unknown("123")),
    # Rules.
    ("example.de", ("restricted", ["TLD rule: .de requires eligibility (resident)"])),
    ("example.test", no("TLD rule: .test is reserved for testing and not open for public registration")),
    ("example.mo.us", no("TLD rule: .mo.us is reserved for Missouri government use")),
    ("example.google", BRAND),
    ("example.\u8c37\u6b4c", BRAND),
    ("example.xn--flw351e", BRAND),
    ("a.co.uk", no("TLD rule: label too short (min 3, got 1) under .co.uk")),
    ("ab.co.uk", no("TLD rule: label too short (min 3, got 2) under .co.uk")),
    ("abc.co.uk", ("yes", passed(3, 63))),
    ("za.sk", no("TLD rule: label 'za' is banned under .sk")),
    ("ZA.sk", no("TLD rule: label 'za' is banned under .sk")),
    ("zaa.sk", ("yes", passed(1, 63))),
    # Internationalised names under ASCII-only suffixes.
    ("b\u00fccher.com", IDN_COM),
    ("B\u00dcCHER.com", IDN_COM),
    ("xn--bcher-kva.com", IDN_COM),
    ("b\u00fccher.de", no("TLD rule: .de does not support IDN (charset is ASCII only)")),
    ("\uff45\uff58\uff41\uff4d\uff50\uff4c\uff45.com", IDN_COM),
    ("example\u3002com", IDN_COM),
    ("example.com\u3002", EMPTY_LABEL),
    ("example.\u0440\u0444", unknown("xn--p1ai")),
    ("\u0440\u0444", tld_only("xn--p1ai")),
    # Where the suffix matcher and the table part ways.
    ("y.x.kobe.jp", unknown("x.kobe.jp")),
    ("x.kobe.jp", tld_only("x.kobe.jp")),
    ("city.kobe.jp", unknown("kobe.jp")),
    ("example.github.io", unknown("github.io")),
    ("example.a.se", ("yes", passed(1, 63))),
    ("a.se", tld_only("a.se")),
    # Syntax.
    ("ab--cd.com", ("yes", passed(1, 63))),
    ("123.com", ("yes", passed(1, 63))),
    ("a" * 63 + ".com", ("yes", passed(1, 63))),
    ("a" * 64 + ".com", no("DNS syntax: label exceeds 63 characters")),
    (".example.com", EMPTY_LABEL),
    ("example..com", EMPTY_LABEL),
    ("a_b.com", INVALID),
    ("exa mple.com", INVALID),
    ("\ufffd.com", no("DNS syntax: invalid IDNA input")),
]


@pytest.mark.parametrize("domain, verdict", ROWS, ids=[repr(r[0])[:40] for r in ROWS])
def test_check(registry, domain, verdict):
    result = registry.check(domain)
    assert (result.status, result.reasons) == verdict


LOOKUPS = [
    ("com", "com"),
    ("COM", "com"),
    (".COM", "com"),
    ("...com", "com"),
    (" com", "com"),
    ("com ", "com"),
    (" .com", "com"),
    ("com.", None),
    (". com", None),
    ("", None),
    ("   ", None),
    ("...", None),
    ("CO.UK", "co.uk"),
    ("\u0440\u0444", "\u0440\u0444"),
    ("\u0420\u0424", None),
    ("xn--p1ai", None),
    ("*.CK", "*.ck"),
    ("city.kobe.jp", "city.kobe.jp"),
    ("!city.kobe.jp", None),
    ("kobe.jp", None),
    ("ck", None),
    ("com\u3002", None),
]


@pytest.mark.parametrize("text, key", LOOKUPS, ids=[repr(r[0]) for r in LOOKUPS])
def test_tld_info_lookup(registry, text, key):
    info = registry.tld_info(text)
    assert (info.tld if info is not None else None) == key


def test_ascii_and_unicode_form_of_a_brand_are_different_rules(registry):
    assert registry.tld_info("xn--flw351e").registerable == "no"
    assert registry.tld_info("\u8c37\u6b4c").registerable == "yes"
