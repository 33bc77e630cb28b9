"""Deterministic benchmark corpus made from the shipped Public Suffix List.

The same list file always gives the same names in the same order: selection uses its own
small generator (splitmix64), never Python's `random` or hash seeds. Every name carries a
group, so that timings can be split into the ASCII part, the IDN part and the failures.

    python bench/corpus.py --summary             # counts per group and the digest
    python bench/corpus.py --hex-out FILE        # "group<TAB>hex of UTF-8" per line, for C++
"""

from __future__ import annotations

import argparse
import hashlib
import pathlib
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
DEFAULT_LIST = ROOT / "tools" / "data" / "public_suffix_list.dat"

# Groups whose text is plain ASCII without any "xn--" label: the checker never needs ICU.
ASCII_GROUPS = (
    "ascii-1label-suffix",
    "ascii-2label-suffix",
    "ascii-3label-suffix",
    "ascii-private-suffix",
    "ascii-subdomain",
    "ascii-bare-suffix",
    "ascii-unknown-tld",
    "ascii-messy",
    "ascii-syntax-fail",
    "ascii-long",
)
# Groups that need the IDNA conversion proper: non-ASCII text or an "xn--" label.
IDN_GROUPS = (
    "idn-unicode",
    "idn-unicode-suffix",
    "idn-xn",
    "idn-invalid",
    "idn-long",
)

_WORDS = (
    "example", "shop", "mail", "news", "cloud", "bank", "store", "travel", "music", "photo",
    "home", "city", "green", "blue", "alpha", "delta", "omega", "north", "river", "stone",
    "data", "web", "app", "dev", "media", "net", "star", "sun", "moon", "sky", "lab", "hub",
)
_ALNUM = "abcdefghijklmnopqrstuvwxyz0123456789"

# Lowercase NFC labels in several scripts; their "xn--" forms are computed by Punycode.
_IDN_LABELS = (
    "bücher", "müller", "straße", "café", "élève", "åland", "smørrebrød", "żółw",
    "пример", "домен", "москва", "київ",
    "παράδειγμα", "ελλάδα",
    "مثال", "موقع",
    "דוגמה",
    "例え", "中文", "网络", "テスト", "日本語",
    "उदाहरण", "भारत",
    "ตัวอย่าง",
    "도메인", "한국",
    "தமிழ்",
    "ქართული",
)


class SplitMix64:
    """A tiny deterministic generator, stable across Python versions."""

    def __init__(self, seed: int) -> None:
        self.state = seed & 0xFFFFFFFFFFFFFFFF

    def next(self) -> int:
        self.state = (self.state + 0x9E3779B97F4A7C15) & 0xFFFFFFFFFFFFFFFF
        z = self.state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & 0xFFFFFFFFFFFFFFFF
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & 0xFFFFFFFFFFFFFFFF
        return z ^ (z >> 31)

    def below(self, n: int) -> int:
        return self.next() % n

    def pick(self, seq):
        return seq[self.below(len(seq))]


def read_list(path: pathlib.Path) -> dict[str, list[str]]:
    """Rules of both sections, as written (first token of each rule line)."""
    sections: dict[str, list[str]] = {"icann": [], "private": []}
    current = None
    with open(path, encoding="utf-8") as f:
        for line in f:
            s = line.strip()
            if s == "// ===BEGIN ICANN DOMAINS===":
                current = "icann"
                continue
            if s == "// ===BEGIN PRIVATE DOMAINS===":
                current = "private"
                continue
            if not s or s.startswith("//") or current is None:
                continue
            sections[current].append(s.split()[0])
    return sections


def xn(label: str) -> str:
    """ASCII form of one lowercase NFC label."""
    if label.isascii():
        return label
    return "xn--" + label.encode("punycode").decode("ascii")


def xn_name(name: str) -> str:
    return ".".join(xn(label) for label in name.split("."))


def _label(rng: SplitMix64, lo: int = 3, hi: int = 20) -> str:
    if rng.below(3) == 0:
        return rng.pick(_WORDS) + str(rng.below(1000))
    n = lo + rng.below(hi - lo + 1)
    chars = [rng.pick(_ALNUM) for _ in range(n)]
    if n > 4 and rng.below(4) == 0:
        chars[1 + rng.below(n - 2)] = "-"
    return "".join(chars)


def _long_label(rng: SplitMix64, n: int) -> str:
    return "".join(rng.pick(_ALNUM) for _ in range(n))


def _long_name(rng: SplitMix64, total: int, suffix: str) -> str:
    """A name of exactly `total` bytes (ASCII) ending in `suffix`, labels of at most 63."""
    labels = []
    room = total - len(suffix) - 1
    while room > 0:
        n = min(63, room)
        if room - n == 1:  # leave no room for an empty label
            n -= 1
        labels.append(_long_label(rng, n))
        room -= n + 1
    name = ".".join(labels) + "." + suffix
    return name


def _plain(rules: list[str]) -> list[str]:
    return [r for r in rules if not r.startswith(("*.", "!"))]


def build(list_path: pathlib.Path = DEFAULT_LIST, seed: int = 5) -> list[tuple[str, str]]:
    """The corpus: (group, name) pairs in a fixed order."""
    sections = read_list(list_path)
    rng = SplitMix64(seed)
    icann = _plain(sections["icann"])
    by_depth = {1: [], 2: [], 3: []}
    uni_suffixes = []
    for r in icann:
        if not r.isascii():
            uni_suffixes.append(r)
            continue
        d = r.count(".") + 1
        if d in by_depth:
            by_depth[d].append(r)
    private = [r for r in _plain(sections["private"]) if r.isascii()]
    all_rules = set(sections["icann"]) | set(sections["private"])
    tlds = {r.rsplit(".", 1)[-1].lstrip("!*.") for r in all_rules}

    out: list[tuple[str, str]] = []

    def add(group: str, name: str) -> None:
        out.append((group, name))

    for depth, count in ((1, 500), (2, 450), (3, 350)):
        for _ in range(count):
            add(f"ascii-{depth}label-suffix", _label(rng) + "." + rng.pick(by_depth[depth]))
    for _ in range(250):
        add("ascii-private-suffix", _label(rng) + "." + rng.pick(private))
    for _ in range(350):
        extra = ".".join(_label(rng, 2, 10) for _ in range(1 + rng.below(3)))
        suffix = rng.pick(by_depth[1 + rng.below(3)])
        add("ascii-subdomain", extra + "." + _label(rng) + "." + suffix)
    for _ in range(250):
        add("ascii-bare-suffix", rng.pick(by_depth[1 + rng.below(3)]))
    unknown = 0
    while unknown < 200:
        tld = _long_label(rng, 3 + rng.below(6))
        if tld in tlds:
            continue
        unknown += 1
        add("ascii-unknown-tld", _label(rng) + "." + tld)
    for _ in range(200):
        # Case, white space and trailing dots that the check trims and folds.
        name = _label(rng) + "." + rng.pick(by_depth[1 + rng.below(2)])
        form = rng.below(4)
        if form == 0:
            name = name.upper()
        elif form == 1:
            name = "  " + name.capitalize() + ". "
        elif form == 2:
            name = "\t" + name + "..\n"
        else:
            name = name.title() + "."
        add("ascii-messy", name)
    fails = (
        lambda: _label(rng) + "_x." + rng.pick(by_depth[1]),
        lambda: "-" + _label(rng) + "." + rng.pick(by_depth[1]),
        lambda: _label(rng) + "-." + rng.pick(by_depth[1]),
        lambda: _label(rng) + ".." + rng.pick(by_depth[1]),
        lambda: "." + _label(rng) + "." + rng.pick(by_depth[1]),
        lambda: _long_label(rng, 64) + "." + rng.pick(by_depth[1]),
        lambda: _label(rng) + " x." + rng.pick(by_depth[1]),
        lambda: _label(rng) + "/x." + rng.pick(by_depth[1]),
        lambda: _label(rng) + "." + rng.pick(by_depth[1]) + "\x1f",
        lambda: "",
        lambda: " . ",
    )
    for i in range(300):
        add("ascii-syntax-fail", fails[i % len(fails)]())
    for i in range(150):
        total = 200 + rng.below(54) if i % 5 else 254 + rng.below(40)
        add("ascii-long", _long_name(rng, total, rng.pick(by_depth[1 + rng.below(2)])))

    ascii_tlds = [r for r in by_depth[1] if r.isascii()]
    unicode_names = []
    for _ in range(450):
        lab = rng.pick(_IDN_LABELS)
        if rng.below(3) == 0:
            lab = lab + str(rng.below(100))
        name = lab + "." + rng.pick(ascii_tlds[:200] + ["com", "de", "net", "org", "jp"])
        unicode_names.append(name)
        add("idn-unicode", name)
    for _ in range(250):
        lab = rng.pick(_IDN_LABELS) if rng.below(2) else _label(rng)
        name = lab + "." + rng.pick(uni_suffixes)
        unicode_names.append(name)
        add("idn-unicode-suffix", name)
    for _ in range(300):
        add("idn-xn", xn_name(rng.pick(unicode_names)))
    invalid = (
        lambda: "\ufffd" + _label(rng) + ".com",
        lambda: "a\u200db" + _label(rng) + ".com",       # joiner outside its context
        lambda: "xn--" + _label(rng) + "-9zz9.com",       # Punycode that decodes badly
        lambda: "\u05d0" + "a" + _label(rng) + ".com",    # bidi: RTL label ending in Latin
        lambda: "\u00ad\u00ad",                           # only characters that IDNA removes
        lambda: "example\u3002com",                       # ideographic full stop
    )
    for i in range(120):
        add("idn-invalid", invalid[i % len(invalid)]())
    for _ in range(80):
        labels = []
        while sum(len(xn(x)) + 1 for x in labels) < 200:
            labels.append(rng.pick(_IDN_LABELS) * (1 + rng.below(3)))
        add("idn-long", ".".join(labels) + ".com")
    return out


def digest(corpus: list[tuple[str, str]]) -> str:
    h = hashlib.sha256()
    for group, name in corpus:
        h.update(group.encode() + b"\0" + name.encode("utf-8") + b"\0")
    return h.hexdigest()


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawTextHelpFormatter)
    ap.add_argument("--list", type=pathlib.Path, default=DEFAULT_LIST)
    ap.add_argument("--hex-out", type=pathlib.Path)
    ap.add_argument("--summary", action="store_true")
    args = ap.parse_args()
    corpus = build(args.list)
    if args.hex_out:
        args.hex_out.parent.mkdir(parents=True, exist_ok=True)
        with open(args.hex_out, "w", encoding="ascii") as f:
            for group, name in corpus:
                f.write(f"{group}\t{name.encode('utf-8').hex()}\n")
    if args.summary or not args.hex_out:
        counts: dict[str, int] = {}
        for group, _ in corpus:
            counts[group] = counts.get(group, 0) + 1
        for group, n in counts.items():
            print(f"{group:24} {n:5}")
        print(f"{'total':24} {len(corpus):5}  sha256 {digest(corpus)[:16]}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
