"""The table generator refuses bad input with "file:line: message" and a non-zero exit."""

import codecs
import os
import subprocess
import sys
import tempfile
import unittest

GEN = os.path.join(os.path.dirname(__file__), "..", "..", "tools", "gen_tables.py")

PSL = """// header
// ===BEGIN ICANN DOMAINS===
com
co.uk
uk
sk
de
*.ck
!www.ck
рф
谷歌
// ===END ICANN DOMAINS===
// ===BEGIN PRIVATE DOMAINS===
blogspot.com
// ===END PRIVATE DOMAINS===
"""

BRANDS = "# brands\ngoo\nxn--flw351e\n"

POLICY = """[@brand]
registerable = no
reason = brand_tld
note = brand
source.note = https://example.org/gtlds.json
source.reason = https://example.org/gtlds.json
source.registerable = https://example.org/gtlds.json

[+test]
registerable = no
reason = infrastructure
note = testing
source.note = https://example.org/reserved
source.reason = https://example.org/reserved
source.registerable = https://example.org/reserved

[co.uk]
min_length = 3
source.min_length = https://example.org/terms
"""


def run(psl=PSL, brands=BRANDS, policy=POLICY):
    """Returns the exit status, stdout, stderr and the written unit (None if none was written)."""
    with tempfile.TemporaryDirectory() as d:
        for name, text in (("public_suffix_list.dat", psl), ("brands.txt", brands),
                           ("policy.txt", policy)):
            with open(os.path.join(d, name), "w", encoding="utf-8", newline="") as f:
                f.write(text)
        out = os.path.join(d, "tables.cpp")
        p = subprocess.run([sys.executable, GEN, "--data", d, "--out", out],
                           capture_output=True, text=True)
        unit = None
        if os.path.exists(out):
            with open(out, encoding="ascii") as f:
                unit = f.read()
        return p.returncode, p.stdout, p.stderr, unit


def stored_text(unit):
    """The character array of a written unit, as the text it holds."""
    body = unit.split("constexpr char TEXT[] =\n", 1)[1].split("\n;\n", 1)[0]
    literals = (line[1:-1] for line in body.split("\n"))
    return codecs.escape_decode("".join(literals).encode("ascii"))[0].decode("utf-8")


class Accepts(unittest.TestCase):
    def test_valid_inputs_give_the_expected_counts(self):
        rc, out, err, written = run()
        self.assertEqual(rc, 0, err)
        self.assertTrue(written)
        # 9 list rules, goo and xn--flw351e added as brand rows, test added by policy.
        self.assertIn("rule table: 12 keys (9 from the list's ICANN section, 2 added brand rows, 1 added by policy)", out)
        self.assertIn("registerable yes 9, no 3, restricted 0", out)

    def test_ascii_blanks_around_entries_are_ignored(self):
        _, plain, _, plain_unit = run()
        psl = PSL.replace("de\n", " \tde\x0b\x0c\r\n")
        brands = BRANDS.replace("goo\n", "goo \t\r\n")
        policy = POLICY.replace("[co.uk]\n", " [ co.uk ]\t\n").replace(
            "min_length = 3\n", "min_length\t=\t3 \r\n")
        rc, out, err, unit = run(psl=psl, brands=brands, policy=policy)
        self.assertEqual(rc, 0, err)
        self.assertEqual(out, plain)
        self.assertEqual(unit, plain_unit)

    def test_a_note_keeps_non_ascii_white_space(self):
        rc, _, err, unit = run(policy=POLICY.replace("note = testing\n", "note = testing\u3000\n"))
        self.assertEqual(rc, 0, err)
        self.assertIn("testing\u3000", stored_text(unit))


class Refuses(unittest.TestCase):
    def assertRefused(self, where, message, **inputs):
        rc, out, err, unit = run(**inputs)
        self.assertEqual(rc, 1, out)
        self.assertFalse(unit)
        self.assertIn(where, err)
        self.assertIn(message, err)

    def test_malformed_rules(self):
        cases = [
            ("Com", "not lowercase"),
            ("a..com", "empty label"),
            (".com", "empty label"),
            ("a!b.com", "character '!'"),
            ("-a.com", "starts or ends with '-'"),
            ("foo.*.com", "character '*'"),
            ("!com", "exception for a top-level label"),
            ("a_b.com", "character '_'"),
            ("cafe\u0301.fr", "not in NFC"),
            ("a\u3002b", "character U+3002, a label separator"),
            ("a\uff0eb.com", "character U+FF0E, a label separator"),
            ("a\uff61b", "character U+FF61, a label separator"),
            ("d e", "white space"),
            ("d\te", "white space"),
            # Only ASCII blanks end a rule: any other white space is part of it, and refused.
            ("de\u3000", "character U+3000"),
            ("\u3000de", "character U+3000"),
            ("d\u3000e", "character U+3000"),
            ("de\u00a0", "character U+00A0"),
            ("de\u2028", "character U+2028"),
            ("de\x1c", "character '\\x1c'"),
        ]
        for rule, message in cases:
            with self.subTest(rule=rule):
                psl = PSL.replace("de\n", rule + "\n")
                self.assertRefused("public_suffix_list.dat:7:", message, psl=psl)

    def test_duplicate_key(self):
        self.assertRefused("public_suffix_list.dat:7:", "duplicate key 'com'",
                           psl=PSL.replace("de\n", "com\n"))

    def test_exception_that_shares_a_key(self):
        self.assertRefused("public_suffix_list.dat:9:", "duplicate key 'www.ck'",
                           psl=PSL.replace("*.ck\n", "www.ck\n"))

    def test_rule_outside_the_sections(self):
        self.assertRefused("public_suffix_list.dat:1:", "outside",
                           psl="com\n" + PSL)

    def test_brands(self):
        self.assertRefused("brands.txt:2:", "out of byte order", brands="goo\naaa\n")
        self.assertRefused("brands.txt:2:", "duplicate", brands="goo\ngoo\n")
        self.assertRefused("brands.txt:1:", "not in ASCII", brands="谷歌\n")
        self.assertRefused("brands.txt:1:", "not a top-level label", brands="a.goo\n")
        self.assertRefused("brands.txt:1:", "not in ASCII", brands="goo\u3000\n")

    def test_parent_of_a_wildcard_as_a_key(self):
        # The place named is the one that made the later of the two keys.
        cases = [
            ("brand", "brands.txt:2:", "'ck'", "'*.ck'", {"brands": "# brands\nck\ngoo\n"}),
            ("policy add", "policy.txt:9:", "'ck'", "'*.ck'",
             {"policy": POLICY.replace("[+test]", "[+ck]")}),
            ("policy adds the wildcard", "policy.txt:9:", "'uk'", "'*.uk'",
             {"policy": POLICY.replace("[+test]", "[+*.uk]")}),
            ("list holds both", "public_suffix_list.dat:8:", "'ck'", "'*.ck'",
             {"psl": PSL.replace("de\n", "ck\n")}),
            ("list holds both, parent last", "public_suffix_list.dat:10:", "'ck'", "'*.ck'",
             {"psl": PSL.replace("!www.ck\n", "!www.ck\nck\n")}),
        ]
        for name, where, parent, wildcard, inputs in cases:
            with self.subTest(name):
                self.assertRefused(where, f"key {parent} is the parent of the wildcard rule {wildcard}",
                                   **inputs)

    def test_malformed_policy_sections_and_values(self):
        cases = [
            ("policy.txt:17:", "malformed rule 'co.uk\\u3000': character U+3000",
             POLICY.replace("[co.uk]", "[co.uk\u3000]")),
            ("policy.txt:17:", "malformed section header",
             POLICY.replace("[co.uk]", "[co.uk]\u3000")),
            ("policy.txt:9:", "character U+3002, a label separator",
             POLICY.replace("[+test]", "[+te\u3002st]")),
            ("policy.txt:9:", "section [+!www.test]: a key is written without '!'",
             POLICY.replace("[+test]", "[+!www.test]")),
            ("policy.txt:10:", "unknown value 'no\\u3000' for registerable",
             POLICY.replace("registerable = no\nreason = infrastructure",
                            "registerable = no\u3000\nreason = infrastructure")),
            ("policy.txt:18:", "min_length must be a whole number",
             POLICY.replace("min_length = 3", "min_length = 3\u3000")),
            ("policy.txt:19:", "is not an absolute web address",
             POLICY.replace("https://example.org/terms", "https://example.org/terms\u3000")),
            ("policy.txt:12:", "unknown field 'note\\u3000'",
             POLICY.replace("note = testing", "note\u3000 = testing")),
        ]
        for where, message, policy in cases:
            with self.subTest(message):
                self.assertRefused(where, message, policy=policy)

    def test_unknown_policy_field_or_value(self):
        self.assertRefused("policy.txt:20:", "unknown field 'colour'",
                           policy=POLICY + "colour = red\n")
        self.assertRefused("policy.txt:18:", "unknown value 'maybe' for registerable",
                           policy=POLICY.replace("[co.uk]\n", "[co.uk]\nregisterable = maybe\n"))
        self.assertRefused("policy.txt:20:", "unknown field 'colour' in 'source.colour'",
                           policy=POLICY + "source.colour = https://example.org/\n")
        for bad in ("300", "-1", "\u00b2", "\uff13"):  # superscript and full-width digits too
            self.assertRefused("policy.txt:18:", "min_length must be a whole number",
                               policy=POLICY.replace("min_length = 3", "min_length = " + bad))

    def test_banned_labels_are_ascii_labels(self):
        for bad in ("ZA", "z.a", "\u00e4", "-za", ""):
            with self.subTest(label=bad):
                policy = POLICY + f"banned = {bad}\nsource.banned = https://example.org/\n"
                self.assertRefused("policy.txt:20:", "banned label", policy=policy)

    def test_policy_values_need_their_sources(self):
        self.assertRefused("policy.txt:18:", "[co.uk] sets min_length without a source",
                           policy=POLICY.replace("source.min_length = https://example.org/terms\n", ""))
        self.assertRefused("policy.txt:20:", "has a source for banned, which it does not set",
                           policy=POLICY + "source.banned = https://example.org/\n")
        self.assertRefused("policy.txt:19:", "is not an absolute web address",
                           policy=POLICY.replace("https://example.org/terms", "/terms"))

    def test_policy_breaking_an_invariant(self):
        self.assertRefused("policy.txt:18:", "sets min_length to its default",
                           policy=POLICY.replace("min_length = 3", "min_length = 1"))
        bad = POLICY + "max_length = 2\nsource.max_length = https://example.org/terms\n"
        self.assertRefused("policy.txt:17:", "min_length is above max_length", policy=bad)

    def test_policy_naming_no_row(self):
        self.assertRefused("policy.txt:17:", "[co.jp] names no rule",
                           policy=POLICY.replace("[co.uk]", "[co.jp]"))
        self.assertRefused("policy.txt:9:", "adds 'com', which the list already holds",
                           policy=POLICY.replace("[+test]", "[+com]"))


if __name__ == "__main__":
    unittest.main()
