"""Times Registry.check against the floor and the peers a user would pick for the suffix part.

Every timed cell is one loop `for n in names: f(n)` with `f` bound beforehand, so the loop and
call overhead is the same everywhere and the two floors show how much of it there is:
`len(name)` (a builtin function, METH_O) and `frozenset().__contains__(name)` (a bound C method
with one argument, the very call shape of `reg.check(name)`; the string's hash, once computed,
is cached by the string, so this is a lookup in an empty set and nothing more).

Each sample times fresh `str` objects made from the UTF-8 bytes (outside the timer), so that
no call profits from a UTF-8 form that an earlier call left cached inside the string object;
the one cell marked "cached" shows what that cache would be worth.

Cells are timed in interleaved rounds (every cell once per round, in a shuffled order that the
round number fixes), and each figure is the median over the rounds, with the interquartile range
as its spread. The peers load our same list file and never touch the network.
"""

from __future__ import annotations

import argparse
import gc
import json
import math
import os
import pathlib
import platform
import statistics
import subprocess
import sys
import tempfile
import time

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import corpus as corpus_mod  # noqa: E402

# Targets of the benchmark, in ns unless stated.
TARGET_ASCII_NS = 250.0
TARGET_IDN_NS = 900.0
TARGET_RATIO = {"tldextract": 12.0, "publicsuffixlist": 6.0, "publicsuffix2": 6.0}
TARGET_CPP_ASCII_NS = 120.0
TARGET_IMPORT_KB = 3 * 1024


# --------------------------------------------------------------------------------------------
# Timing primitives


def _fresh(encoded: list[bytes], reps: int) -> list[str]:
    return [b.decode("utf-8") for _ in range(reps) for b in encoded]


def _run(f, names: list[str]) -> int:
    gc_on = gc.isenabled()
    gc.disable()
    try:
        t0 = time.perf_counter_ns()
        for n in names:
            f(n)
        return time.perf_counter_ns() - t0
    finally:
        if gc_on:
            gc.enable()


def _summary(samples: list[float]) -> dict:
    s = sorted(samples)
    q = statistics.quantiles(s, n=4, method="inclusive") if len(s) > 1 else [s[0]] * 3
    med = statistics.median(s)
    return {
        "median_ns": med,
        "p25_ns": q[0],
        "p75_ns": q[2],
        "min_ns": s[0],
        "max_ns": s[-1],
        "iqr_pct": (q[2] - q[0]) / med * 100 if med else 0.0,
        "rounds": len(s),
    }


class Cell:
    """One subject timed on one list of names."""

    def __init__(self, key: str, f, names: list[str], fresh: bool = True, per_byte: int = 0):
        self.key = key
        self.f = f
        self.names = names
        self.encoded = [n.encode("utf-8") for n in names]
        self.fresh = fresh
        self.per_byte = per_byte
        self.reps = 1
        self.samples: list[float] = []

    def calibrate(self, sample_ns: float) -> None:
        self.sample_once(record=False)  # warm-up: lazy loading, caches
        per_pass = self.sample_once(record=False) * len(self.names)
        self.reps = max(1, min(10_000, math.ceil(sample_ns / max(per_pass, 1.0))))

    def sample_once(self, record: bool = True) -> float:
        if self.fresh:
            names = _fresh(self.encoded, self.reps)
        else:
            names = self.names * self.reps
        ns = _run(self.f, names) / len(names)
        del names
        if record:
            self.samples.append(ns)
        return ns

    def result(self) -> dict:
        r = _summary(self.samples)
        r["names"] = len(self.names)
        r["calls_per_sample"] = len(self.names) * self.reps
        if self.per_byte:
            r["bytes"] = self.per_byte
            r["ns_per_byte"] = r["median_ns"] / self.per_byte
        return r


def run_rounds(cells: list[Cell], rounds: int, sample_ms: float, label: str) -> None:
    for c in cells:
        c.calibrate(sample_ms * 1e6)
    rng = corpus_mod.SplitMix64(0xBE7C4)
    t0 = time.time()
    for r in range(rounds):
        order = list(cells)
        for i in range(len(order) - 1, 0, -1):  # Fisher-Yates with the fixed generator
            j = rng.below(i + 1)
            order[i], order[j] = order[j], order[i]
        for c in order:
            c.sample_once()
        print(f"\r  {label}: round {r + 1}/{rounds} ({time.time() - t0:.0f} s)", end="",
              file=sys.stderr, flush=True)
    print(file=sys.stderr)


# --------------------------------------------------------------------------------------------
# Subjects


def make_peers(list_path: pathlib.Path, tmp: pathlib.Path) -> dict:
    # tldextract reads its cache location from the environment at import: point it at our
    # temporary directory, and disable the cache as well.
    os.environ["TLDEXTRACT_CACHE"] = str(tmp / "tldextract-cache")
    import publicsuffix2
    import publicsuffixlist
    import tldextract

    ext = tldextract.TLDExtract(
        cache_dir=None,
        suffix_list_urls=(list_path.resolve().as_uri(),),
        fallback_to_snapshot=False,
        include_psl_private_domains=True,  # both sections, as the check's matcher
    )
    ext("example.com")  # load the list now, not inside a timed sample
    with open(list_path, "rb") as f:
        psl = publicsuffixlist.PublicSuffixList(source=f)
    ps2 = publicsuffix2.PublicSuffixList(psl_file=str(list_path))
    versions = {}
    for mod in ("tldextract", "publicsuffixlist", "publicsuffix2"):
        try:
            from importlib.metadata import version

            versions[mod] = version(mod)
        except Exception:  # noqa: BLE001 - informational only
            versions[mod] = "?"
    return {
        # What each peer answers is the registrable domain (or the split around it).
        "tldextract": ext,
        "publicsuffixlist": psl.privatesuffix,
        "publicsuffix2": ps2.get_sld,
    }, versions


def _split_body(m: int, max_label: int) -> list[int]:
    """Label lengths (at least two labels) whose total with the dots between them is m."""
    k = max(2, math.ceil((m + 1) / (max_label + 1)))
    letters = m - (k - 1)
    return [letters // k + (1 if i < letters % k else 0) for i in range(k)]


def length_inputs() -> dict[str, str | list[str]]:
    """Names of fixed byte lengths and long texts, for cost against length.

    The names all take one road through the check (syntax passes, then more than one label in
    front of the suffix ends it), so that only the length differs between them.
    """
    rng = corpus_mod.SplitMix64(253)
    letters = "abcdefghijklmnopqrstuvwxyz"
    idn_heads = ("bücher", "пример", "例え", "müller", "ελλάδα", "日本語")
    out: dict[str, list[str] | str] = {}
    for n in (10, 50, 100, 253):
        names = []
        for _ in range(100):
            body = ".".join("".join(rng.pick(letters) for _ in range(k))
                            for k in _split_body(n - 4, 63))
            names.append(body + ".com")
        assert all(len(x) == n for x in names)
        out[f"ascii-name-{n}B"] = names
    for n in (10, 50, 100, 253):
        names = []
        for i in range(100):
            labels = []
            for j, k in enumerate(_split_body(n - 4, 55)):
                head = idn_heads[(i + j) % len(idn_heads)]
                while len(head.encode()) > k:
                    head = head[:-1]
                labels.append(head + "".join(rng.pick(letters)
                                             for _ in range(k - len(head.encode()))))
            names.append(".".join(labels) + ".com")
        assert all(len(x.encode()) == n for x in names), n
        out[f"idn-name-{n}B"] = names
    for size, tag in ((1 << 10, "1KB"), (100 << 10, "100KB"), (10 << 20, "10MB")):
        out[f"ascii-text-{tag}"] = ("abcdefghi." * (size // 10 + 1))[:size]
        unit = "bücher.ελλάδα.例え."
        text = unit * (size // len(unit.encode()) + 1)
        while len(text.encode()) > size:
            text = text[:-1]
        out[f"idn-text-{tag}"] = text
        if size <= 100 << 10:
            # One label of distinct CJK characters: the hard case for the Punycode step.
            n_chars = size // 3
            out[f"idn-one-label-text-{tag}"] = "".join(chr(0x4E00 + i % 20000)
                                                       for i in range(n_chars)) + ".com"[: size - 3 * n_chars]
    return out


# --------------------------------------------------------------------------------------------
# Import cost


_RSS_PROBE = r"""
import sys
def rss():
    with open('/proc/self/status') as f:
        for line in f:
            if line.startswith('VmRSS:'):
                return int(line.split()[1])
before = rss()
import zelvar._native as m
after_import = rss()
r = m.Registry()
for n in ('example.com', 'bücher.de', 'a.b.c.d.kobe.jp', 'x' * 300):
    r.check(n)
r.tld_info('co.uk'); r.stats()
after_use = rss()
print(before, after_import, after_use)
"""


def import_cost(runs: int = 7) -> dict:
    rows = []
    for _ in range(runs):
        out = subprocess.run([sys.executable, "-c", _RSS_PROBE], capture_output=True, text=True,
                             check=True).stdout.split()
        b, a, u = (int(x) for x in out)
        rows.append((a - b, u - b))
    return {
        "import_kb_median": statistics.median(r[0] for r in rows),
        "import_kb_max": max(r[0] for r in rows),
        "after_first_calls_kb_median": statistics.median(r[1] for r in rows),
        "runs": runs,
        "what": "VmRSS after `import zelvar._native` minus VmRSS before it, fresh interpreter",
    }


# --------------------------------------------------------------------------------------------
# Per-name distribution


def per_name(f, names: list[str], reps: int) -> list[float]:
    out = []
    for n in names:
        b = n.encode("utf-8")
        best = math.inf
        for _ in range(3):
            batch = [b.decode("utf-8") for _ in range(reps)]
            best = min(best, _run(f, batch) / reps)
        out.append(best)
    return out


def dist(values: list[float]) -> dict:
    s = sorted(values)

    def pct(p):
        return s[min(len(s) - 1, int(p / 100 * len(s)))]

    return {"p50_ns": statistics.median(s), "p90_ns": pct(90), "p99_ns": pct(99),
            "max_ns": s[-1], "names": len(s)}


# --------------------------------------------------------------------------------------------
# Report


def fmt_ns(v: float) -> str:
    if v >= 1e6:
        return f"{v / 1e6:9.2f} ms"
    if v >= 1e4:
        return f"{v / 1e3:9.1f} us"
    return f"{v:9.1f} ns"


def cpp_figures(path: pathlib.Path | None) -> dict:
    if not path or not path.exists():
        return {}
    data = json.loads(path.read_text())
    out: dict[str, dict] = {}
    scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}
    for b in data.get("benchmarks", []):
        agg = b.get("aggregate_name")
        name = b.get("run_name", b["name"])
        if agg not in (None, "median", "cv", "mean", "stddev"):
            continue
        row = out.setdefault(name, {})
        if agg == "cv":
            row["cv_pct"] = b["real_time"] * 100
            continue
        ns = b["real_time"] * scale[b.get("time_unit", "ns")]
        if agg is None:
            row.setdefault("samples_ns", []).append(ns)
        else:
            row[f"{agg}_ns"] = ns
        for k in ("items_per_second", "bytes_per_second"):
            if k in b and agg in (None, "median"):
                row[k] = b[k]
    for row in out.values():
        if "median_ns" not in row and row.get("samples_ns"):
            row["median_ns"] = statistics.median(row["samples_ns"])
    return {"context": data.get("context", {}), "benchmarks": out}


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--list", type=pathlib.Path, default=corpus_mod.DEFAULT_LIST)
    ap.add_argument("--rounds", type=int, default=15)
    ap.add_argument("--sample-ms", type=float, default=25.0)
    ap.add_argument("--out", type=pathlib.Path, default=HERE / "results.json")
    ap.add_argument("--cpp-json", type=pathlib.Path, help="Google Benchmark JSON to merge")
    ap.add_argument("--quick", action="store_true", help="few rounds, short samples, no 10 MB")
    args = ap.parse_args()
    if args.quick:
        args.rounds, args.sample_ms = 5, 8.0

    from zelvar._native import Registry

    reg = Registry()
    check = reg.check
    corpus = corpus_mod.build(args.list)
    groups = {
        "ascii": [n for g, n in corpus if g in corpus_mod.ASCII_GROUPS],
        "idn": [n for g, n in corpus if g in corpus_mod.IDN_GROUPS],
        "all": [n for _, n in corpus],
    }
    assert len(groups["ascii"]) + len(groups["idn"]) == len(groups["all"])

    # Every name goes through check once before timing: it must never raise.
    outcome: dict[str, int] = {}
    for n in groups["all"]:
        st = check(n).status
        outcome[st] = outcome.get(st, 0) + 1

    tmp = pathlib.Path(tempfile.mkdtemp(prefix="zelvar-bench-"))
    peers, peer_versions = make_peers(args.list, tmp)

    ps = corpus_mod.read_list(args.list)
    keys = [r for r in ps["icann"]]
    suffixes = [keys[i] for i in range(0, len(keys), max(1, len(keys) // 300))]
    suffixes += [s.upper() for s in suffixes[:40]] + [" ." + s for s in suffixes[40:60]]
    suffixes += ["zz" + s for s in suffixes[60:110]]

    noop = frozenset().__contains__
    cells: list[Cell] = []
    for g, names in groups.items():
        cells.append(Cell(f"floor len / {g}", len, names))
        cells.append(Cell(f"floor noop C method / {g}", noop, names))
        cells.append(Cell(f"check / {g}", check, names))
        for p, f in peers.items():
            cells.append(Cell(f"{p} / {g}", f, names))
    cells.append(Cell("check / idn (UTF-8 cached in str)", check, groups["idn"], fresh=False))
    for g in corpus_mod.ASCII_GROUPS + corpus_mod.IDN_GROUPS:
        cells.append(Cell(f"check / group {g}", check, [n for gg, n in corpus if gg == g]))
    cells.append(Cell("tld_info / suffixes", reg.tld_info, suffixes))
    cells.append(Cell("floor noop C method / suffixes", noop, suffixes))

    print("floors: len(name), and frozenset().__contains__(name) (a bound C method, one argument)")
    print(f"corpus: {len(corpus)} names ({len(groups['ascii'])} ASCII, {len(groups['idn'])} IDN), "
          f"sha256 {corpus_mod.digest(corpus)[:16]}; outcomes {outcome}")
    run_rounds(cells, args.rounds, args.sample_ms, "corpus")

    # Cost against length: check only, its own rounds (the 10 MB texts are slow per call).
    lin_inputs = length_inputs()
    lin_cells: list[Cell] = []
    for key, v in lin_inputs.items():
        if args.quick and key.endswith("10MB"):
            continue
        if isinstance(v, list):
            nbytes = round(statistics.mean(len(x.encode()) for x in v))
            lin_cells.append(Cell(f"check / {key}", check, v, per_byte=nbytes))
        else:
            lin_cells.append(Cell(f"check / {key}", check, [v], per_byte=len(v.encode())))
    run_rounds(lin_cells, max(5, args.rounds // 2), args.sample_ms * 2, "length")

    pn_ascii = per_name(check, groups["ascii"], 40)
    pn_idn = per_name(check, groups["idn"], 40)
    imp = import_cost()

    res = {c.key: c.result() for c in cells}
    lin = {c.key: c.result() for c in lin_cells}
    med = {k: v["median_ns"] for k, v in res.items()}
    ratios = {}
    for p in peers:
        ratios[p] = {g: med[f"{p} / {g}"] / med[f"check / {g}"] for g in groups}

    print()
    print(f"{'cell':44} {'median':>12} {'IQR':>7} {'min':>12} {'max':>12}")
    for c in cells:
        r = res[c.key]
        print(f"{c.key:44} {fmt_ns(r['median_ns'])} {r['iqr_pct']:6.1f}% "
              f"{fmt_ns(r['min_ns'])} {fmt_ns(r['max_ns'])}")
    print()
    print("peer / check (how many times slower the peer is):")
    print(f"{'peer':18} " + " ".join(f"{g:>8}" for g in groups))
    for p in peers:
        print(f"{p:18} " + " ".join(f"{ratios[p][g]:7.1f}x" for g in groups))
    print()
    print("check per name (best of 3 batches of 40 calls per name):")
    for tag, d in (("ascii", dist(pn_ascii)), ("idn", dist(pn_idn))):
        print(f"  {tag:6} p50 {fmt_ns(d['p50_ns'])}  p90 {fmt_ns(d['p90_ns'])}  "
              f"p99 {fmt_ns(d['p99_ns'])}  max {fmt_ns(d['max_ns'])}")
    print()
    print("cost against length (check):")
    print(f"{'input':32} {'bytes':>9} {'per call':>12} {'ns/byte':>9}")
    for c in lin_cells:
        r = lin[c.key]
        print(f"{c.key:32} {r['bytes']:9} {fmt_ns(r['median_ns'])} {r['ns_per_byte']:9.2f}")
    print()
    print(f"import zelvar._native: +{imp['import_kb_median']} kB RSS (median of {imp['runs']}), "
          f"+{imp['after_first_calls_kb_median']} kB after the first calls")

    cpp = cpp_figures(args.cpp_json)
    cpp_b = cpp.get("benchmarks", {})
    if cpp_b:
        print()
        print("C++ core (Google Benchmark, median of the repetitions):")
        for name, row in sorted(cpp_b.items()):
            if "median_ns" in row:
                cv = f"  cv {row['cv_pct']:.1f}%" if "cv_pct" in row else ""
                print(f"  {name:58} {fmt_ns(row['median_ns'])}{cv}")

    targets = []

    def target(name, value, limit, higher_is_better=False, unit="ns"):
        ok = value >= limit if higher_is_better else value <= limit
        targets.append({"target": name, "value": value, "limit": limit, "unit": unit, "met": ok})

    target("check median, ASCII part", med["check / ascii"], TARGET_ASCII_NS)
    target("check median, IDN part", med["check / idn"], TARGET_IDN_NS)
    for p, lim in TARGET_RATIO.items():
        target(f"{p} / check, whole corpus", ratios[p]["all"], lim, True, "x")
    cpp_ascii = cpp_b.get("BM_Check/ascii:example.com", {}).get("median_ns")
    if cpp_ascii is not None:
        target("C++ Registry::check, ASCII name", cpp_ascii, TARGET_CPP_ASCII_NS)
    target("import RSS", imp["import_kb_median"], TARGET_IMPORT_KB, unit="kB")
    # Linear cost: per byte, the 10 MB texts cost at most 1.5 times what the 100 KB texts of
    # the same kind cost (both long enough that the fixed cost of a call does not show).
    steps = [(k, lin[k]["ns_per_byte"] / lin[k.replace("10MB", "100KB")]["ns_per_byte"])
             for k in lin if k.endswith("10MB") and k.replace("10MB", "100KB") in lin]
    if steps:
        worst = max(steps, key=lambda x: x[1])
        target(f"linear cost: ns/byte 10 MB over 100 KB (worst: {worst[0].split(' / ')[1]})",
               worst[1], 1.5, unit="x")
    print()
    print("targets:")
    for t in targets:
        mark = "met " if t["met"] else "MISS"
        op = ">=" if t["unit"] == "x" and "linear" not in t["target"] else "<="
        t["op"] = op
        print(f"  [{mark}] {t['target']:52} {t['value']:10.1f} {t['unit']:2} ({op} {t['limit']:g})")

    doc = {
        "when": time.strftime("%Y-%m-%dT%H:%M:%S%z"),
        "machine": {"platform": platform.platform(), "processor": platform.processor(),
                    "cpus": os.cpu_count(), "python": sys.version.split()[0]},
        "method": {"rounds": args.rounds, "sample_ms": args.sample_ms,
                   "floors": ["len(name)", "frozenset().__contains__(name)"],
                   "fresh_str_per_sample": True},
        "corpus": {"names": len(corpus), "ascii": len(groups["ascii"]),
                   "idn": len(groups["idn"]), "sha256": corpus_mod.digest(corpus),
                   "outcomes": outcome},
        "peers": peer_versions,
        "cells": res,
        "ratios_peer_over_check": ratios,
        "per_name": {"ascii": dist(pn_ascii), "idn": dist(pn_idn)},
        "length": lin,
        "import": imp,
        "cpp": cpp,
        "targets": targets,
    }
    args.out.write_text(json.dumps(doc, indent=1, ensure_ascii=False) + "\n")
    print(f"\nfigures written to {args.out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
