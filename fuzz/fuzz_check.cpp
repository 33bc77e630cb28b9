// libFuzzer target: Registry::check and Registry::tld_info on arbitrary bytes, with the
// invariants of a verdict, and the IDNA and suffix-matcher shortcuts held against the long
// way round.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "checker.hpp"
#include "generated.hpp"
#include "idna.hpp"
#include "registry.hpp"
#include "suffix_matcher.hpp"

namespace {

// Not assert(): the fuzzer is built with NDEBUG.
#define FUZZ_CHECK(cond)                                                    \
  do {                                                                      \
    if (!(cond)) {                                                          \
      std::fprintf(stderr, "invariant failed: %s (line %d)\n", #cond, __LINE__); \
      std::abort();                                                         \
    }                                                                       \
  } while (0)

bool valid_utf8(std::string_view s) {
  std::size_t i = 0;
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  while (i < s.size()) {
    const unsigned char c = b(i);
    std::size_t n;
    std::uint32_t cp;
    if (c < 0x80) {
      ++i;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      n = 2;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      n = 3;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      n = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (s.size() - i < n) return false;
    for (std::size_t k = 1; k < n; ++k) {
      if ((b(i + k) & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += n;
  }
  return true;
}

void check_verdict(const zelvar::types::CheckResult& r, bool utf8_input) {
  using zelvar::types::CheckStatus;
  const auto status = static_cast<std::uint8_t>(r.status);
  FUZZ_CHECK(status <= 3);
  if (r.status == CheckStatus::Yes) {
    FUZZ_CHECK(r.reasons.size() == 3 || r.reasons.size() == 4);
  } else {
    FUZZ_CHECK(r.reasons.size() == 1);
  }
  for (const auto& reason : r.reasons) {
    FUZZ_CHECK(!reason.empty());
    if (utf8_input) FUZZ_CHECK(valid_utf8(reason));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view in(reinterpret_cast<const char*>(data), size);
  const bool utf8 = valid_utf8(in);
  const zelvar::registry::Registry registry;

  // Callers pass valid UTF-8 only; other bytes must still be handled safely.
  check_verdict(registry.check(in), utf8);
  if (const auto rule = registry.tld_info(in)) {
    // The rule is the table's own: its texts are views of the stored key.
    const auto entry = zelvar::generated::TLD_RULES.get_entry(rule->tld);
    FUZZ_CHECK(entry && entry->key.data() == rule->tld.data() &&
               entry->rule.sources.data() == rule->sources.data());
  }
  if (!utf8) return 0;

  // Two answers agree when they are equal, or when both are too long for any name (a text
  // whose ASCII form is that long is only judged, and its answer is not the ASCII form).
  const auto same = [](const std::string& a, const std::string& b) {
    return a == b || (a.size() > 253 && b.size() > 253);
  };
  // The fast path answers what ICU answers.
  std::string icu;
  const bool icu_ok = zelvar::idna::domain_to_ascii_icu(in, icu);
  if (zelvar::idna::converts_without_icu(in)) {
    std::string fast;
    FUZZ_CHECK(zelvar::idna::domain_to_ascii(in, fast));
    FUZZ_CHECK(icu_ok && same(icu, fast));
  }
  // Conversion in pieces answers what one conversion answers.
  if (size > 1) {
    std::string pieces;
    const bool pieces_ok =
        zelvar::idna::domain_to_ascii_icu(in, pieces, 1 + static_cast<std::size_t>(data[0] % 16),
                                          1 + static_cast<std::size_t>(data[0] % 16));
    std::string whole;
    const bool whole_ok = zelvar::idna::domain_to_ascii_icu(in, whole, SIZE_MAX, SIZE_MAX);
    FUZZ_CHECK(pieces_ok == whole_ok);
    FUZZ_CHECK(!whole_ok || same(pieces, whole));
    FUZZ_CHECK(icu_ok == whole_ok);
    FUZZ_CHECK(!whole_ok || same(icu, whole));
  }
  // The matcher answers a tail of whole labels.
  if (icu_ok && !zelvar::checker::validate_ascii_domain(icu)) {  // 253 bytes at most
    const std::size_t n = zelvar::psl::public_suffix_length(icu.data(), icu.size());
    FUZZ_CHECK(n > 0 && n <= icu.size());
    FUZZ_CHECK(n == icu.size() || icu[icu.size() - n - 1] == '.');
  }
  return 0;
}
