"""Untrusted input by the million: no leak, no crash, threads, failing allocations."""

import gc
import itertools
import resource
import sys
import threading

import pytest

from support import SANITIZED, run_python

STATUSES = {"yes", "no", "restricted", "unknown"}


def varied_domains():
    """Some five hundred names that reach every stage and every status of the check."""
    stems = ["example", "Shop.Example", "a", "ab", "za", "b\u00fccher", "xn--bcher-kva", "exa mple", "-a", "a_b",
             "\uff45\uff58", "caf\u00e9", "e\u0301", "", "x" * 63, "y" * 64, "\u00ad", "\ufffd", "1.2.3"]
    suffixes = ["com", "de", "co.uk", "sk", "zzz", "test", "google", "\u8c37\u6b4c", "\u0440\u0444", "kobe.jp",
                "github.io", "a.se", "123", "com.", "com..", "com\u3002", ""]
    names = [f"{stem}.{suffix}" for stem, suffix in itertools.product(stems, suffixes)]
    names += [f"  {n}\u3000" for n in names[::3]] + [n.upper() for n in names[::5]]
    names += ["", " ", "...", "\x00", "exa\x00mple.com", "a" * 300 + ".com", "." * 300]
    return names


def varied_suffixes():
    return ["com", "COM", ".co.uk", "de", "sk", "test", "mo.us", "google", "xn--flw351e", "\u8c37\u6b4c", "*.ck",
            "city.kobe.jp", "\u0440\u0444", "zzz", "", " ", "com.", "kobe.jp", "\x00", "a" * 100]


def resident_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * resource.getpagesize()


@pytest.mark.skipif(SANITIZED, reason="too slow under the sanitizer")
def test_a_million_calls_leave_memory_and_type_references_flat(native, registry):
    domains, suffixes = varied_domains(), varied_suffixes()
    types = [native.Registry, native.CheckResult, native.TldInfo]
    seen = set()

    def run(calls):
        check, tld_info = registry.check, registry.tld_info
        for i in range(calls // 2):
            result = check(domains[i % len(domains)])
            info = tld_info(suffixes[i % len(suffixes)])
            if i % 16 == 0:
                seen.add(result.status)
                result.reasons, repr(result)
                if info is not None:
                    info.sources, info.restrictions, info.banned, info.note, repr(info)
                native.Registry().stats()

    run(100_000)  # warm-up: caches of the interpreter and of the strings' UTF-8 forms fill here
    gc.collect()
    memory, references = resident_bytes(), [sys.getrefcount(t) for t in types]
    run(2_000_000)  # a million calls of check and a million of tld_info
    gc.collect()
    growth = resident_bytes() - memory
    assert seen == STATUSES
    # One lost 16-byte block per call would be 16 MB here.
    assert growth < 4 << 20, f"resident memory grew by {growth} bytes"
    assert [sys.getrefcount(t) for t in types] == references


def test_threads_share_one_registry_and_one_result_each(registry):
    domains = varied_domains()[:400]
    expected = {d: (r.status, r.reasons) for d in domains for r in [registry.check(d)]}
    shared = registry.check("example.com")
    shared_repr = repr(shared)
    info = registry.tld_info("de")
    info_sources = info.sources
    failures = []
    barrier = threading.Barrier(8)

    def worker(offset):
        barrier.wait()
        for i in range(3000):
            domain = domains[(i + offset * 37) % len(domains)]
            result = registry.check(domain)
            if (result.status, result.reasons) != expected[domain]:
                failures.append(domain)
            if shared.status != "yes" or len(shared.reasons) != 3 or repr(shared) != shared_repr:
                failures.append("shared")
            if i % 10 == 0 and (info.sources != info_sources or registry.tld_info("de").restrictions != ["resident"]):
                failures.append("info")

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    try:
        threads = [threading.Thread(target=worker, args=(k,)) for k in range(8)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
    finally:
        sys.setswitchinterval(interval)
    assert failures == []
    assert repr(shared) == shared_repr


@pytest.mark.parametrize(
    "domain, reasons",
    [
        ("exa\x00mple.com", ["DNS syntax: label contains invalid characters"]),
        ("\x00", ["DNS syntax: label contains invalid characters"]),
        ("a" * 10_000_000 + ".com", ["DNS syntax: domain exceeds 253 characters"]),
        ("\u00fc" * 5_000_000 + ".com", None),
        ("." * 100_000, ["DNS syntax: empty domain"]),
        ("a" + "." * 100_000 + "com", ["DNS syntax: domain exceeds 253 characters"]),
        ("\u0301" * 100_000, ["DNS syntax: invalid IDNA input"]),
        ("e" + "\u0301" * 100_000 + ".com", None),
        (" " * 1_000_000, ["DNS syntax: empty domain"]),
    ],
    ids=["nul-inside", "nul", "10MB", "10MB-non-ascii", "dots", "dots-inside", "marks", "marks-after-letter",
         "blanks"],
)
def test_hostile_input_gives_a_verdict(registry, domain, reasons):
    result = registry.check(domain)
    assert result.status == "no"
    if reasons is not None:
        assert result.reasons == reasons
    else:
        assert len(result.reasons) == 1
    assert repr(result).startswith("CheckResult(status='no', reasons=[")
    assert registry.tld_info(domain) is None


# Fails each of the first allocations of the interpreter, one at a time, inside each entry point.
# Every call must then return, raise MemoryError, or raise PanicException; nothing may crash.
FAULT_SWEEP = """
    import _testcapi
    import zelvar._native as native

    registry = native.Registry()
    result = registry.check("example.com")
    info = registry.tld_info("de")
    operations = {
        "Registry": native.Registry,
        "check": lambda: registry.check("shop.example.com"),
        "tld_info": lambda: registry.tld_info("de"),
        "CheckResult.repr": lambda: repr(result),
        "CheckResult.status": lambda: result.status,
        "CheckResult.reasons": lambda: result.reasons,
        "TldInfo.repr": lambda: repr(info),
        "TldInfo.note": lambda: info.note,
        "TldInfo.restrictions": lambda: info.restrictions,
        "TldInfo.sources": lambda: info.sources,
        "rule_count": registry.rule_count,
        "stats": registry.stats,
    }
    for name, operation in operations.items():
        outcomes = set()
        for k in range(40):
            _testcapi.set_nomemory(k, k + 1)
            try:
                operation()
                outcome = "ok"
            except MemoryError:
                outcome = "MemoryError"
            except Exception as e:
                outcome = "Exception " + type(e).__name__
            except BaseException as e:
                outcome = f"{type(e).__module__}.{type(e).__qualname__}: {e}"
            finally:
                _testcapi.remove_mem_hooks()
            outcomes.add(outcome)
        print(name, "|", " | ".join(sorted(outcomes)))
    print(registry.check("example.com").status)
"""


def test_failing_allocations_raise_memory_error_or_panic_exception():
    pytest.importorskip("_testcapi")
    process = run_python(FAULT_SWEEP)
    assert process.returncode == 0, process.stderr
    lines = process.stdout.splitlines()
    assert lines[-1] == "yes"
    outcomes = {name: set(rest.split(" | ")) for name, rest in (line.split(" | ", 1) for line in lines[:-1])}
    panic = "zelvar.PanicException: PyObject pointer is null"
    # A failed insertion into the stats dictionary names its key: "set {key}: MemoryError: ".
    allowed = {"ok", "MemoryError", panic}
    for name, seen in outcomes.items():
        assert "ok" in seen, name
        assert all(o in allowed or o.startswith("zelvar.PanicException: set ") for o in seen), (name, seen)
    # Failed allocations of new instances are the interpreter's MemoryError ...
    for name in ("Registry", "check", "tld_info"):
        assert "MemoryError" in outcomes[name]
    # ... while a result that cannot be built is an internal failure, reported as unraisable first.
    for name in ("CheckResult.repr", "CheckResult.reasons", "TldInfo.sources", "TldInfo.note", "stats"):
        assert panic in outcomes[name]
    assert "zelvar: internal failure: PyObject pointer is null" in process.stderr
    assert "MemoryError" in process.stderr


# Every allocation of the interpreter fails, so not even PanicException or its message can be
# made: the call must still raise (MemoryError) and the process go on. Once memory is back, the
# next internal failure raises PanicException as usual. The hooks go in and out inside a
# function, whose locals need no memory (binding a new global might).
NO_MEMORY_AT_ALL = """
    import _testcapi
    import zelvar._native as native

    def attempt(operation, first, last):
        error = None
        _testcapi.set_nomemory(first, last)
        try:
            operation()
        except BaseException as e:
            error = e
        finally:
            _testcapi.remove_mem_hooks()
        return "ok" if error is None else f"{type(error).__module__}.{type(error).__qualname__}: {error}"

    registry = native.Registry()
    result = registry.check("example.com")
    info = registry.tld_info("de")
    operations = [lambda: result.reasons, lambda: repr(result), lambda: info.sources, registry.stats]
    for operation in operations:
        print(attempt(operation, 0, 0))
    outcomes = {attempt(operations[0], k, k + 1) for k in range(20)}
    print(" | ".join(sorted(outcomes)))
    print(result.reasons == registry.check("example.com").reasons, registry.stats()["restricted"])
"""


def test_panic_without_any_memory_raises_memory_error():
    pytest.importorskip("_testcapi")
    process = run_python(NO_MEMORY_AT_ALL)
    assert process.returncode == 0, process.stderr
    lines = process.stdout.splitlines()
    assert lines[:4] == ["builtins.MemoryError: "] * 4
    assert "zelvar.PanicException: PyObject pointer is null" in lines[4].split(" | ")
    assert lines[5] == "True 1"
    assert "uncaught panic" not in process.stderr
    assert "zelvar: internal failure: PyObject pointer is null" in process.stderr


# A C++ allocation that fails inside the checker: the text is copied once the address space is
# too small for the copy. The "xn--" label keeps the text off the ASCII fast path, which copies
# nothing of a text this long; tld_info copies nothing of a text longer than any key.
OUT_OF_MEMORY = """
    import resource
    import zelvar._native as native

    registry = native.Registry()
    big = "xn--tda." + "a" * (256 << 20) + ".com"
    soft, hard = resource.getrlimit(resource.RLIMIT_AS)
    with open("/proc/self/statm") as f:
        size = int(f.read().split()[0]) * resource.getpagesize()
    resource.setrlimit(resource.RLIMIT_AS, (size + (64 << 20), hard))
    outcomes = []
    for operation in (registry.check, registry.tld_info):
        try:
            operation(big)
            outcomes.append("ok")
        except MemoryError:
            outcomes.append("MemoryError")
    resource.setrlimit(resource.RLIMIT_AS, (soft, hard))
    print(*outcomes, registry.check("a" * 300).reasons[0], registry.check("example.com").status, sep="|")
"""


@pytest.mark.skipif(SANITIZED, reason="the sanitizer needs more address space than any limit allows")
def test_exhausted_memory_raises_memory_error_and_the_process_goes_on():
    process = run_python(OUT_OF_MEMORY)
    assert process.returncode == 0, process.stderr
    assert process.stdout.strip() == "MemoryError|ok|DNS syntax: domain exceeds 253 characters|yes"
    assert "internal failure" not in process.stderr
