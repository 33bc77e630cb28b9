#!/usr/bin/env python3
"""Generates the compiled tables of zelvar: the registration rule table (TLD_RULES) and the
rule set of the public suffix matcher (PSL_RULES), as one C++ unit.

Inputs (in --data): public_suffix_list.dat, brands.txt, policy.txt. Every input is validated;
any fault stops the generator with "file:line: message" and exit status 1.

Standard library only: it runs during the build.
"""

from __future__ import annotations

import argparse
import os
import re
import sys
import unicodedata
import urllib.parse
from dataclasses import dataclass, field

M64 = (1 << 64) - 1
K_LEN = 0x9E3779B97F4A7C15
K_MUL = 0xBF58476D1CE4E5B9

DEFAULT_MIN_LENGTH = 1
DEFAULT_MAX_LENGTH = 63

REGISTERABLE = {"yes": 0, "no": 1, "restricted": 2}
REASONS = {"brand_tld": 0, "infrastructure": 1, "government": 2, "retired": 3}
LENGTH_BASES = {"ascii": 0, "unicode": 1}
CHARSETS = {"ascii": 0, "idn": 1}
SCALAR_FIELDS = ("registerable", "reason", "note", "min_length", "max_length", "length_basis",
                 "charset", "idn_chars")
LIST_FIELDS = ("restrictions", "banned")
SOURCE_FIELDS = ("banned", "min_length", "note", "reason", "registerable", "restrictions",
                 "max_length", "length_basis", "charset", "idn_chars")

PSL_NORMAL, PSL_WILDCARD, PSL_EXCEPTION = 1, 2, 4
BANNED_LABEL = re.compile(r"[a-z0-9](?:[a-z0-9-]{0,61}[a-z0-9])?")
# The list ends a rule only at ASCII blanks, and so do the other inputs: any other white space
# stays in the text, where the checks refuse it, instead of being removed unseen.
ASCII_SPACE = " \t\r\n\f\v"
# IDNA splits a name at these as at ".", so inside a label they would hide a second label.
LABEL_SEPARATORS = "\u3002\uff0e\uff61"


class GenError(Exception):
    def __init__(self, path: str, line: int | None, message: str):
        where = f"{path}:{line}" if line else path
        super().__init__(f"{where}: {message}")


# ---------------------------------------------------------------------------------------------
# The hash, identical to zelvar::generated::phf_hash.

def phf_hash(data: bytes, seed: int) -> int:
    n = len(data)
    h = (seed ^ (n * K_LEN)) & M64
    i = 0
    while n - i >= 8:
        h ^= int.from_bytes(data[i:i + 8], "little")
        h = (h * K_MUL) & M64
        h ^= h >> 29
        i += 8
    h ^= int.from_bytes(data[i:], "little")
    h = (h * K_MUL) & M64
    h ^= h >> 29
    h ^= h >> 33
    h = (h * 0xFF51AFD7ED558CCD) & M64
    h ^= h >> 33
    h = (h * 0xC4CEB93FE53EF1A3) & M64
    h ^= h >> 33
    return h


# The index layout, identical to zelvar::generated::phf_bucket and phf_position: the bucket
# from the top 21 bits of the hash, f1 from the middle 21, f2 from the low 21; a displacement
# word holds d1 in its top 11 bits and d2 in its low 21; both scalings are multiply-shift.
FIELD_BITS = 21
FIELD_MASK = (1 << FIELD_BITS) - 1
D1_LIMIT = 1 << (32 - FIELD_BITS)
MAX_PHF_SIZE = 1 << FIELD_BITS


def phf_bucket(h: int, nbuckets: int) -> int:
    return ((h >> 43) * nbuckets) >> FIELD_BITS


def phf_position(h: int, disp: int, size: int) -> int:
    f1 = (h >> FIELD_BITS) & FIELD_MASK
    f2 = h & FIELD_MASK
    x = (f1 + (disp >> FIELD_BITS) * f2 + (disp & FIELD_MASK)) & FIELD_MASK
    return (x * size) >> FIELD_BITS


@dataclass
class PhfIndex:
    seed: int
    disps: list[int]    # one displacement word per bucket
    order: list[int]    # order[pos]: index into the keys of the key stored at position pos
    hashes: list[int]   # hash of each key, by key index


def build_phf(keys: list[bytes], what: str) -> PhfIndex:
    """Hash and displace: buckets from the largest down, each given the first displacement
    pair that puts all its keys on free positions."""
    n = len(keys)
    if n == 0:
        return PhfIndex(0, [0], [], [])
    if n > MAX_PHF_SIZE:
        raise GenError(what, None, f"{n} keys are more than the index holds ({MAX_PHF_SIZE})")
    nbuckets = max(1, (n + 3) // 4)
    # A step of d2 moves every position by at most one: stepping through d2 misses no position.
    step = max(1, (1 << FIELD_BITS) // n)
    d2_values = range(0, 1 << FIELD_BITS, step)
    rng_state = 0x5EED_2026_0527_0001
    for _attempt in range(64):
        rng_state = (rng_state * 6364136223846793005 + 1442695040888963407) & M64
        seed = rng_state
        hashes = [phf_hash(k, seed) for k in keys]
        buckets: list[list[int]] = [[] for _ in range(nbuckets)]
        for idx, h in enumerate(hashes):
            buckets[phf_bucket(h, nbuckets)].append(idx)
        order = sorted(range(nbuckets), key=lambda b: -len(buckets[b]))
        taken = bytearray(n)
        disps = [0] * nbuckets
        slots = [-1] * n
        ok = True
        for b in order:
            members = buckets[b]
            if not members:
                continue
            fs = [((hashes[i] >> FIELD_BITS) & FIELD_MASK, hashes[i] & FIELD_MASK) for i in members]
            placed = False
            for d1 in range(min(D1_LIMIT, 66)):
                base = [(f1 + d1 * f2) & FIELD_MASK for f1, f2 in fs]
                for d2 in d2_values:
                    pos = [(((x + d2) & FIELD_MASK) * n) >> FIELD_BITS for x in base]
                    if any(taken[p] for p in pos) or len(set(pos)) != len(pos):
                        continue
                    disp = (d1 << FIELD_BITS) | d2
                    for p, i in zip(pos, members):
                        assert phf_position(hashes[i], disp, n) == p
                        taken[p] = 1
                        slots[p] = i
                    disps[b] = disp
                    placed = True
                    break
                if placed:
                    break
            if not placed:
                ok = False
                break
        if ok:
            return PhfIndex(seed, disps, slots, hashes)
    raise GenError(what, None, "no perfect hash found")


# ---------------------------------------------------------------------------------------------
# Inputs.

@dataclass
class ListRule:
    text: str          # as the list writes it, with "*." or "!"
    line: int
    icann: bool


def to_alabel(label: str) -> str:
    if label.isascii():
        return label
    return "xn--" + label.encode("punycode").decode("ascii")


def check_label(path: str, line: int, rule: str, label: str) -> None:
    if not label:
        raise GenError(path, line, f"malformed rule {rule!r}: empty label")
    if label.startswith("-") or label.endswith("-"):
        raise GenError(path, line, f"malformed rule {rule!r}: label {label!r} starts or ends with '-'")
    for ch in label:
        if ch in LABEL_SEPARATORS:
            raise GenError(path, line, f"malformed rule {rule!r}: character U+{ord(ch):04X}, a label separator")
        if ch.isascii():
            if not ("a" <= ch <= "z" or "0" <= ch <= "9" or ch == "-"):
                raise GenError(path, line, f"malformed rule {rule!r}: character {ch!r}")
        elif ch.isspace() or unicodedata.category(ch)[0] in "CZ":
            raise GenError(path, line, f"malformed rule {rule!r}: character U+{ord(ch):04X}")


def check_rule_text(path: str, line: int, rule: str) -> None:
    """The key shape: lowercase, NFC, LDH labels (any non-ASCII letters), "*." only in front,
    "!" only in front of a rule without wildcard."""
    body = rule
    if body.startswith("!"):
        body = body[1:]
        if body.startswith("*."):
            raise GenError(path, line, f"malformed rule {rule!r}: wildcard exception")
    elif body.startswith("*."):
        body = body[2:]
    if body != body.lower():
        raise GenError(path, line, f"malformed rule {rule!r}: not lowercase")
    if not unicodedata.is_normalized("NFC", body):
        raise GenError(path, line, f"malformed rule {rule!r}: not in NFC")
    for label in body.split("."):
        check_label(path, line, rule, label)
    if rule.startswith("!") and "." not in body:
        raise GenError(path, line, f"malformed rule {rule!r}: exception for a top-level label")


def read_lines(path: str):
    """(line number, line without the ASCII blanks at its ends) for each line of an input."""
    with open(path, encoding="utf-8") as f:
        for lineno, raw in enumerate(f, 1):
            yield lineno, raw.strip(ASCII_SPACE)


def read_psl(path: str) -> list[ListRule]:
    rules: list[ListRule] = []
    section = None
    seen_sections = set()
    for lineno, stripped in read_lines(path):
        if stripped.startswith("//"):
            for name in ("ICANN", "PRIVATE"):
                if stripped == f"// ===BEGIN {name} DOMAINS===":
                    if section is not None or name in seen_sections:
                        raise GenError(path, lineno, f"unexpected start of the {name} section")
                    section = name
                    seen_sections.add(name)
                elif stripped == f"// ===END {name} DOMAINS===":
                    if section != name:
                        raise GenError(path, lineno, f"unexpected end of the {name} section")
                    section = None
            continue
        if not stripped:
            continue
        if section is None:
            raise GenError(path, lineno, "rule outside the ICANN and PRIVATE sections")
        if any(ch in ASCII_SPACE for ch in stripped):
            raise GenError(path, lineno, f"malformed rule {stripped!r}: white space")
        check_rule_text(path, lineno, stripped)
        rules.append(ListRule(stripped, lineno, section == "ICANN"))
    if section is not None:
        raise GenError(path, None, f"the {section} section is not closed")
    if "ICANN" not in seen_sections:
        raise GenError(path, None, "no ICANN section")
    return rules


def read_brands(path: str) -> list[tuple[str, int]]:
    brands: list[tuple[str, int]] = []
    for lineno, name in read_lines(path):
        if not name or name.startswith("#"):
            continue
        if not name.isascii():
            raise GenError(path, lineno, f"brand {name!r} is not in ASCII (A-label) form")
        check_rule_text(path, lineno, name)
        if "." in name:
            raise GenError(path, lineno, f"brand {name!r} is not a top-level label")
        if name.startswith("xn--"):
            try:
                name[4:].encode("ascii").decode("punycode")
            except UnicodeError:
                raise GenError(path, lineno, f"brand {name!r} is not a valid A-label") from None
        if brands and name <= brands[-1][0]:
            what = "duplicate" if name == brands[-1][0] else "out of byte order"
            raise GenError(path, lineno, f"brand {name!r} is {what}")
        brands.append((name, lineno))
    if not brands:
        raise GenError(path, None, "no brands")
    return brands


@dataclass
class PolicySection:
    name: str
    line: int
    values: dict = field(default_factory=dict)      # field -> (value, line)
    lists: dict = field(default_factory=dict)       # field -> ([values], first line)
    sources: dict = field(default_factory=dict)     # field -> (url, line)


def parse_value(path: str, line: int, name: str, value: str):
    enum = {"registerable": REGISTERABLE, "reason": REASONS, "length_basis": LENGTH_BASES,
            "charset": CHARSETS}.get(name)
    if enum is not None:
        if value not in enum:
            raise GenError(path, line, f"unknown value {value!r} for {name}")
        return enum[value]
    if name in ("min_length", "max_length"):
        if not (value.isascii() and value.isdigit()) or not 0 <= int(value) <= 255:
            raise GenError(path, line, f"{name} must be a whole number from 0 to 255, not {value!r}")
        return int(value)
    return value


def read_policy(path: str) -> list[PolicySection]:
    sections: list[PolicySection] = []
    current: PolicySection | None = None
    names = set()
    for lineno, stripped in read_lines(path):
        if not stripped or stripped.startswith("#"):
            continue
        if stripped.startswith("["):
            if not stripped.endswith("]") or len(stripped) < 3:
                raise GenError(path, lineno, f"malformed section header {stripped!r}")
            name = stripped[1:-1].strip(ASCII_SPACE)
            if name in names:
                raise GenError(path, lineno, f"duplicate section [{name}]")
            if name != "@brand":
                key = name[1:] if name.startswith("+") else name
                # Keys drop the list's "!"; a section that keeps it would add a key with one.
                if key.startswith("!"):
                    raise GenError(path, lineno, f"section [{name}]: a key is written without '!'")
                check_rule_text(path, lineno, key)
            names.add(name)
            current = PolicySection(name, lineno)
            sections.append(current)
            continue
        if current is None:
            raise GenError(path, lineno, "field outside a section")
        if "=" not in stripped:
            raise GenError(path, lineno, f"expected 'field = value', got {stripped!r}")
        key, value = (part.strip(ASCII_SPACE) for part in stripped.split("=", 1))
        if key.startswith("source."):
            fld = key[len("source."):]
            if fld not in SOURCE_FIELDS:
                raise GenError(path, lineno, f"unknown field {fld!r} in {key!r}")
            if fld in current.sources:
                raise GenError(path, lineno, f"second source for {fld}")
            parsed = urllib.parse.urlsplit(value)
            if parsed.scheme not in ("http", "https") or not parsed.netloc \
                    or any(c.isspace() for c in value):
                raise GenError(path, lineno, f"source {value!r} is not an absolute web address")
            current.sources[fld] = (value, lineno)
        elif key in LIST_FIELDS:
            # A banned entry is compared with the ASCII label of a name, so only such a
            # label can ever match; anything else would be a ban that does nothing.
            if key == "banned" and not BANNED_LABEL.fullmatch(value):
                raise GenError(path, lineno, f"banned label {value!r} is not a lowercase ASCII label")
            if value == "":
                raise GenError(path, lineno, f"empty value for {key}")
            entries, first = current.lists.get(key, ([], lineno))
            entries.append(value)
            current.lists[key] = (entries, first)
        elif key in SCALAR_FIELDS:
            if key in current.values:
                raise GenError(path, lineno, f"{key} given twice")
            if key != "note" and key != "idn_chars" and value == "":
                raise GenError(path, lineno, f"empty value for {key}")
            current.values[key] = (parse_value(path, lineno, key, value), lineno)
        else:
            raise GenError(path, lineno, f"unknown field {key!r}")
    return sections


# ---------------------------------------------------------------------------------------------
# Rows.

@dataclass
class Row:
    key: str
    registerable: int = 0
    reason: int = 4
    note: str | None = None
    restrictions: tuple = ()
    min_length: int = DEFAULT_MIN_LENGTH
    max_length: int = DEFAULT_MAX_LENGTH
    length_basis: int = 0
    banned: tuple = ()
    charset: int = 0
    idn_chars: str = ""
    sources: dict = field(default_factory=dict)


def default_source(key: str) -> str:
    top = key.rsplit(".", 1)[-1]
    return f"https://www.iana.org/domains/root/db/{to_alabel(top)}.html"


DEFAULTS = Row(key="")


def apply_policy(path: str, section: PolicySection, row: Row) -> None:
    for name, (value, _line) in section.values.items():
        setattr(row, name, value)
    for name, (values, _line) in section.lists.items():
        setattr(row, name, tuple(values))
    set_fields = set(section.values) | set(section.lists)
    for name in sorted(set_fields):
        line = section.values.get(name, section.lists.get(name))[1]
        if getattr(row, name) == getattr(DEFAULTS, name):
            raise GenError(path, line, f"[{section.name}] sets {name} to its default")
        if name not in section.sources:
            raise GenError(path, line, f"[{section.name}] sets {name} without a source")
    for name, (url, line) in section.sources.items():
        if name != "registerable" and name not in set_fields:
            raise GenError(path, line, f"[{section.name}] has a source for {name}, which it does not set")
        row.sources[name] = url
    if row.min_length > row.max_length:
        raise GenError(path, section.line, f"[{section.name}] min_length is above max_length")


def build_rows(data: str) -> tuple[list[Row], list[ListRule], dict]:
    psl_path = os.path.join(data, "public_suffix_list.dat")
    brands_path = os.path.join(data, "brands.txt")
    policy_path = os.path.join(data, "policy.txt")
    list_rules = read_psl(psl_path)
    brands = read_brands(brands_path)
    policy = read_policy(policy_path)

    rows: dict[str, Row] = {}
    origin: dict[str, tuple[str, int]] = {}    # key -> the file and line that made it a key
    for r in list_rules:
        if not r.icann:
            continue
        key = r.text[1:] if r.text.startswith("!") else r.text
        if key in rows:
            raise GenError(psl_path, r.line, f"duplicate key {key!r}")
        rows[key] = Row(key=key, sources={"registerable": default_source(key)})
        origin[key] = (psl_path, r.line)

    counts = {"list_rules": len(rows), "added_brands": 0}
    brand_section = next((s for s in policy if s.name == "@brand"), None)
    if brand_section is None:
        raise GenError(policy_path, None, "no [@brand] section")
    for name, line in brands:
        row = rows.get(name)
        if row is None:
            row = rows[name] = Row(key=name, sources={"registerable": default_source(name)})
            origin[name] = (brands_path, line)
            counts["added_brands"] += 1
        apply_policy(policy_path, brand_section, row)

    brand_names = {b for b, _ in brands}
    for section in policy:
        if section.name == "@brand":
            continue
        if section.name.startswith("+"):
            key = section.name[1:]
            if key in rows:
                raise GenError(policy_path, section.line, f"[{section.name}] adds {key!r}, which the list already holds")
            rows[key] = Row(key=key, sources={"registerable": default_source(key)})
            origin[key] = (policy_path, section.line)
        else:
            key = section.name
            if key not in rows:
                raise GenError(policy_path, section.line, f"[{key}] names no rule of the list's ICANN section")
            if key in brand_names:
                raise GenError(policy_path, section.line, f"[{key}] is a brand row")
        apply_policy(policy_path, section, rows[key])

    for name, line in brands:
        if rows.get(name) is None or rows[name].reason != REASONS["brand_tld"]:
            raise GenError(brands_path, line, f"brand {name!r} is missing from the result")

    check_wildcard_parents(origin)
    for row in rows.values():
        check_invariants(row)
    return list(rows.values()), list_rules, counts


def check_wildcard_parents(origin: dict[str, tuple[str, int]]) -> None:
    """No key is the parent of a wildcard key: every name one label below that parent is itself
    a public suffix, so a rule for the parent would govern no registration. Of the two keys, the
    one made later is named: the keys were made in input order."""
    order = {key: i for i, key in enumerate(origin)}
    for key in origin:
        parent = key[2:]
        if key.startswith("*.") and parent in origin:
            later = key if order[key] > order[parent] else parent
            path, line = origin[later]
            raise GenError(path, line, f"key {parent!r} is the parent of the wildcard rule {key!r}")


def check_invariants(row: Row) -> None:
    where = f"row {row.key!r}"
    if row.registerable not in (0, 1, 2) or not 0 <= row.reason <= 4:
        raise GenError(where, None, "enumeration value out of range")
    if row.length_basis not in (0, 1) or row.charset not in (0, 1):
        raise GenError(where, None, "enumeration value out of range")
    if row.min_length > row.max_length:
        raise GenError(where, None, "min_length is above max_length")
    if "registerable" not in row.sources:
        raise GenError(where, None, "no source for registerable")


# ---------------------------------------------------------------------------------------------
# The matcher's rule set: both sections, ASCII keys, kinds per text, and every proper tail.

def build_psl_set(list_rules: list[ListRule], psl_path: str) -> dict[str, int]:
    kinds: dict[str, int] = {}
    for r in list_rules:
        text = r.text
        if text.startswith("!"):
            kind, text = PSL_EXCEPTION, text[1:]
        elif text.startswith("*."):
            kind, text = PSL_WILDCARD, text[2:]
        else:
            kind = PSL_NORMAL
        try:
            key = ".".join(to_alabel(label) for label in text.split("."))
        except UnicodeError as exc:
            raise GenError(psl_path, r.line, f"cannot convert {r.text!r} to ASCII: {exc}") from None
        if kinds.get(key, 0) & kind:
            raise GenError(psl_path, r.line, f"duplicate rule {r.text!r}")
        kinds[key] = kinds.get(key, 0) | kind
    for key in list(kinds):
        labels = key.split(".")
        for i in range(1, len(labels)):
            kinds.setdefault(".".join(labels[i:]), 0)
    return kinds


# ---------------------------------------------------------------------------------------------
# Output. The unit holds no pointers except in the list items that the rule type hands out as
# spans of views: texts are offsets into one character array, lists are index ranges, so the
# tables need no load-time relocation.

KEY_LENGTH_LIMIT = 0xFF        # a key's byte length shares its 32-bit word with its offset
KEY_OFFSET_LIMIT = 1 << 24
INDEX_LIMIT = 0xFFFF           # 16-bit indices and counts


def cpp_bytes(data: bytes) -> str:
    out = ['"']
    for b in data:
        c = chr(b)
        if c == '"' or c == "\\":
            out.append("\\" + c)
        elif 0x20 <= b < 0x7F and c != "?":
            out.append(c)
        else:
            out.append(f"\\{b:03o}")
    out.append('"')
    return "".join(out)


def pack_texts(texts: set[bytes]) -> tuple[bytes, dict[bytes, int]]:
    """One array holding every text once; a text that ends another text is stored inside it.
    Sorted by their reversed bytes, a text ends some other text exactly when it ends the one
    that follows it, so one pass from the last text back finds where each one lies."""
    ordered = sorted(texts, key=lambda t: t[::-1])
    root: dict[bytes, bytes] = {}   # the text stored in full that holds t
    within: dict[bytes, int] = {}   # where t starts inside it
    for i in range(len(ordered) - 1, -1, -1):
        t = ordered[i]
        nxt = ordered[i + 1] if i + 1 < len(ordered) else None
        if nxt is not None and nxt.endswith(t):
            root[t] = root[nxt]
            within[t] = within[nxt] + len(nxt) - len(t)
        else:
            root[t] = t
            within[t] = 0
    start: dict[bytes, int] = {}
    parts: list[bytes] = []
    size = 0
    for t in sorted(set(root.values())):
        start[t] = size
        parts.append(t)
        size += len(t)
    return b"".join(parts), {t: start[root[t]] + within[t] for t in texts}


def check_limit(what: str, value: int, limit: int) -> None:
    if value > limit:
        raise GenError(what, None, f"{value} is more than the compiled table holds ({limit})")


class Emitter:
    """Collects the stored values of both tables, then writes them as C++."""

    def __init__(self):
        self.texts: set[bytes] = set()
        self.text_items: list[bytes] = []
        self.text_lists: dict[tuple, tuple[int, int]] = {(): (0, 0)}
        self.source_items: list[tuple[bytes, bytes]] = []
        self.source_lists: dict[tuple, tuple[int, int]] = {}
        # (note or None, idn_chars, restrictions, banned) -> index; 0 is the defaults.
        self.extras: dict[tuple, int] = {(None, b"", (0, 0), (0, 0)): 0}
        self.place: dict[bytes, int] = {}

    def text(self, t: bytes) -> bytes:
        self.texts.add(t)
        return t

    def text_list(self, items: tuple) -> tuple[int, int]:
        ref = self.text_lists.get(items)
        if ref is None:
            ref = self.text_lists[items] = (len(self.text_items), len(items))
            self.text_items.extend(self.text(t.encode("utf-8")) for t in items)
            check_limit("restriction and banned-label items", len(self.text_items), INDEX_LIMIT)
        return ref

    def source_list(self, pairs: tuple) -> tuple[int, int]:
        ref = self.source_lists.get(pairs)
        if ref is None:
            ref = self.source_lists[pairs] = (len(self.source_items), len(pairs))
            check_limit("sources of one rule", len(pairs), 0xFF)
            self.source_items.extend((self.text(f.encode("utf-8")), self.text(u.encode("utf-8")))
                                     for f, u in pairs)
            check_limit("source pairs", len(self.source_items), INDEX_LIMIT)
        return ref

    def extra(self, r: Row) -> int:
        note = None if r.note is None else self.text(r.note.encode("utf-8"))
        key = (note, self.text(r.idn_chars.encode("utf-8")), self.text_list(r.restrictions),
               self.text_list(r.banned))
        index = self.extras.get(key)
        if index is None:
            index = self.extras[key] = len(self.extras)
            check_limit("distinct note, list and IDN values", index, INDEX_LIMIT)
        return index

    def key(self, k: bytes) -> bytes:
        check_limit(f"key {k.decode('utf-8')!r}: byte length", len(k), KEY_LENGTH_LIMIT)
        return self.text(k)

    def pack(self) -> bytes:
        blob, self.place = pack_texts(self.texts)
        return blob

    def key_word(self, k: bytes) -> int:
        offset = self.place[k]
        check_limit("text offset of a key", offset, KEY_OFFSET_LIMIT - 1)
        return (offset << 8) | len(k)

    def ref(self, t: bytes) -> str:
        return f"{{{self.place[t]}, {len(t)}}}"

    def view(self, t: bytes) -> str:
        return f"{{TEXT + {self.place[t]}, {len(t)}}}"


def emit(rows: list[Row], psl: dict[str, int], out_path: str) -> None:
    tld_keys = [r.key.encode("utf-8") for r in rows]
    tld = build_phf(tld_keys, "rule table")
    psl_items = sorted(psl.items())
    psl_keys = [k.encode("ascii") for k, _ in psl_items]
    psl_index = build_phf(psl_keys, "suffix rule set")

    em = Emitter()
    tld_rows = []  # (key, sources, extra, row) in stored order
    for pos in range(len(rows)):
        r = rows[tld.order[pos]]
        sources = em.source_list(tuple(sorted(r.sources.items())))
        tld_rows.append((em.key(tld_keys[tld.order[pos]]), sources, em.extra(r), r))
    for k in psl_keys:
        em.key(k)
    blob = em.pack()

    records = []
    for key, (first, count), extra, r in tld_rows:
        records.append(f"    {{{em.key_word(key)}, {first}, {extra}, {count}, {r.registerable}, "
                       f"{r.reason}, {r.min_length}, {r.max_length}, {r.length_basis}, "
                       f"{r.charset}}},")
    psl_records = []
    for i in psl_index.order:
        tag = psl_index.hashes[i] & 0xFFFF
        psl_records.append(f"    {{{em.key_word(psl_keys[i])}, {tag}, {psl_items[i][1]}}},")

    extras = []
    for (note, idn_chars, restrictions, banned), _index in sorted(em.extras.items(),
                                                                 key=lambda kv: kv[1]):
        extras.append(f"    {{{em.ref(note or b'')}, {em.ref(idn_chars)}, "
                      f"{{{restrictions[0]}, {restrictions[1]}}}, {{{banned[0]}, {banned[1]}}}, "
                      f"{0 if note is None else 1}}},")

    # An array may not be empty: an unused placeholder (a null view needs no relocation).
    text_items = [f"    {em.view(t)}," for t in em.text_items] or ["    {},"]
    source_items = [f"    {{{em.view(f)}, {em.view(u)}}}," for f, u in em.source_items] \
        or ["    {},"]
    records = records or ["    {},"]
    psl_records = psl_records or ["    {},"]

    def words(values: list[int]) -> list[str]:
        return [", ".join(str(v) for v in values[i:i + 12]) + "," for i in range(0, len(values), 12)]

    text_lines = [cpp_bytes(blob[i:i + 96]) for i in range(0, len(blob), 96)] or ['""']
    text = "\n".join([
        "// Generated by tools/gen_tables.py from tools/data. Do not edit.",
        '#include "generated.hpp"',
        "",
        "namespace zelvar::generated {",
        "namespace detail {",
        "",
        f"// {len(blob)} bytes.",
        "constexpr char TEXT[] =",
        *text_lines,
        ";",
        "",
        "constexpr std::string_view TEXT_ITEMS[] = {",
        *text_items,
        "};",
        "constexpr types::RuleSource SOURCE_ITEMS[] = {",
        *source_items,
        "};",
        "constexpr TldExtra TLD_EXTRAS[] = {",
        *extras,
        "};",
        "constexpr TldRecord TLD_RECORDS[] = {",
        *records,
        "};",
        "constexpr std::uint32_t TLD_DISPS[] = {",
        *words(tld.disps),
        "};",
        "constexpr PslRecord PSL_RECORDS[] = {",
        *psl_records,
        "};",
        "constexpr std::uint32_t PSL_DISPS[] = {",
        *words(psl_index.disps),
        "};",
        "",
        "}  // namespace detail",
        "",
        f"constinit const PhfMap<TldTable> TLD_RULES{{PhfIndex{{{tld.seed}ULL, "
        f"{len(tld.disps)}, {len(rows)}}}}};",
        f"constinit const PhfMap<PslTable> PSL_RULES{{PhfIndex{{{psl_index.seed}ULL, "
        f"{len(psl_index.disps)}, {len(psl_keys)}}}}};",
        "",
        "}  // namespace zelvar::generated",
        "",
    ])
    tmp = out_path + ".tmp"
    with open(tmp, "w", encoding="ascii") as f:
        f.write(text)
    os.replace(tmp, out_path)


def summary(rows: list[Row], psl: dict[str, int], counts: dict) -> str:
    by_labels: dict[int, int] = {}
    for r in rows:
        n = r.key.count(".") + 1
        by_labels[n] = by_labels.get(n, 0) + 1
    status = [sum(1 for r in rows if r.registerable == v) for v in range(3)]
    reasons = [sum(1 for r in rows if r.reason == v) for v in range(5)]
    fields: dict[str, int] = {}
    for r in rows:
        for f in r.sources:
            fields[f] = fields.get(f, 0) + 1
    urls = {u for r in rows for u in r.sources.values()}
    labels = ", ".join(f"{n} labels {c}" for n, c in sorted(by_labels.items()))
    return "\n".join([
        f"rule table: {len(rows)} keys ({counts['list_rules']} from the list's ICANN section, "
        f"{counts['added_brands']} added brand rows, {len(rows) - counts['list_rules'] - counts['added_brands']} added by policy)",
        f"  {labels}",
        f"  unicode keys {sum(1 for r in rows if not r.key.isascii())}, "
        f"wildcards {sum(1 for r in rows if r.key.startswith('*.'))}",
        f"  registerable yes {status[0]}, no {status[1]}, restricted {status[2]}",
        f"  reason brand_tld {reasons[0]}, infrastructure {reasons[1]}, government {reasons[2]}, "
        f"retired {reasons[3]}, absent {reasons[4]}",
        f"  notes {sum(1 for r in rows if r.note is not None)}",
        "  sources " + ", ".join(f"{k} {v}" for k, v in sorted(fields.items()))
        + f"; {len(urls)} distinct addresses",
        f"suffix rule set: {sum(1 for v in psl.values() if v)} rule texts, "
        f"{sum(1 for v in psl.values() if not v)} interior nodes",
    ])


def main(argv: list[str]) -> int:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--data", required=True, help="folder with the inputs")
    ap.add_argument("--out", required=True, help="the C++ unit to write")
    args = ap.parse_args(argv)
    try:
        rows, list_rules, counts = build_rows(args.data)
        psl = build_psl_set(list_rules, os.path.join(args.data, "public_suffix_list.dat"))
        emit(rows, psl, args.out)
    except GenError as exc:
        print(f"gen_tables: error: {exc}", file=sys.stderr)
        return 1
    except (OSError, UnicodeDecodeError) as exc:
        print(f"gen_tables: error: {exc}", file=sys.stderr)
        return 1
    print(summary(rows, psl, counts))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
