"""A short demonstration of zelvar._native: a handful of checks and one rule lookup."""

from zelvar._native import Registry


def main():
    registry = Registry()
    print(f"zelvar: {registry.rule_count()} compiled rules")
    for domain in ["example.com", "abc.co.uk", "a.co.uk", "shop.example.com", "example.de",
                   "example.google", "b\u00fccher.com", "example.zzz"]:
        result = registry.check(domain)
        print(f"  {domain:<18} {result.status:<10} {'; '.join(result.reasons)}")
    info = registry.tld_info("co.uk")
    print(f"  {info!r}: label length {info.min_length}-{info.max_length}, "
          f"sources for {', '.join(info.sources)}")


if __name__ == "__main__":
    main()
