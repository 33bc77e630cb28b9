#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "generated.hpp"
#include "registry.hpp"
#include "support.hpp"

namespace zelvar::registry {
namespace {

using types::Charset;
using types::CheckResult;
using types::CheckStatus;
using types::ClosedReason;
using types::LengthBasis;
using types::RuleStatus;
using types::TldRule;

using Reasons = std::vector<std::string>;

Reasons passed(int min, int max) {
  return {"DNS syntax: ok", "TLD rule: label length ok (" + std::to_string(min) + "-" +
                                std::to_string(max) + ")",
          "TLD rule: label not in banned list"};
}
Reasons passed4(int min, int max) {
  Reasons r = passed(min, max);
  r.insert(r.begin() + 1, "TLD rule: IDN characters ok");
  return r;
}

struct Row {
  std::string input;
  CheckStatus status;
  Reasons reasons;
};

using zelvar::testing::printable;

void expect_rows(const std::vector<Row>& rows, RuleLookup rules) {
  const Registry registry;
  for (const auto& r : rows) {
    SCOPED_TRACE(printable(r.input));
    const CheckResult got = registry.check(r.input, rules);
    EXPECT_EQ(types::word(got.status), types::word(r.status));
    EXPECT_EQ(got.reasons, r.reasons);
  }
}

TldRule compiled_rule(std::string_view key) {
  const auto e = generated::TLD_RULES.get_entry(key);
  EXPECT_TRUE(e.has_value()) << key;
  return e ? e->rule : TldRule{};
}

#define EM "\xE2\x80\x94"
constexpr auto No = CheckStatus::No;
constexpr auto Yes = CheckStatus::Yes;
constexpr auto Unknown = CheckStatus::Unknown;
constexpr auto Restricted = CheckStatus::Restricted;

TEST(Check, NormalisationAndSyntax) {
  const Reasons empty = {"DNS syntax: empty domain"};
  const Reasons invalid = {"DNS syntax: label contains invalid characters"};
  expect_rows(
      {
          {"  Example.COM. ", Yes, passed(1, 63)},
          {"example.com..", Yes, passed(1, 63)},
          {"", No, empty},
          {"   ", No, empty},
          {"...", No, empty},
          {" . ", No, empty},
          {"\xE3\x80\x80\t\xC2\xA0", No, empty},
          {"example.com. .", No, invalid},  // the blank stays once the last dot is gone
          {"example.com\x1F", No, invalid},
          // U+200B is not trimmed: it stays in the typed label, though IDNA drops it.
          {"\xE2\x80\x8B" "example.com", No,
           {"TLD rule: .com does not support IDN (charset is ASCII only)"}},
          {"\xE2\x80\x83" "example.com\xE2\x80\xA8", Yes, passed(1, 63)},        // trimmed
          {".example.com", No, {"DNS syntax: empty label"}},
          {"example..com", No, {"DNS syntax: empty label"}},
          {"example.com\xE3\x80\x82", No, {"DNS syntax: empty label"}},  // U+3002 not stripped
          {"a_b.com", No, invalid},
          {"exa mple.com", No, invalid},
          {std::string("exa\0mple.com", 12), No, invalid},
          {std::string(64, 'a') + ".com", No, {"DNS syntax: label exceeds 63 characters"}},
          {std::string(250, 'a') + ".com", No, {"DNS syntax: domain exceeds 253 characters"}},
          {"\xEF\xBF\xBD.com", No, {"DNS syntax: invalid IDNA input"}},
          {"\xC2\xAD", No, empty},  // IDNA removes it: empty from the syntax stage
          {"-a.com", No, {"DNS syntax: label cannot start or end with a hyphen"}},
      },
      RuleLookup::compiled());
}

TEST(Check, SuffixAndRegistrableDomain) {
  expect_rows(
      {
          {"com", No, {"no registrable label found " EM " 'com' is a TLD, not a domain"}},
          {"sk", No, {"no registrable label found " EM " 'sk' is a TLD, not a domain"}},
          {"shop.example.com", No,
           {"'shop.example.com' is a subdomain of 'example.com' " EM " retry with 'example.com'"}},
          {"Shop.Example.COM", No,
           {"'shop.example.com' is a subdomain of 'example.com' " EM " retry with 'example.com'"}},
          {"shop.b\xC3\xBC" "cher.com", No,
           {"'shop.xn--bcher-kva.com' is a subdomain of 'xn--bcher-kva.com' " EM
            " retry with 'xn--bcher-kva.com'"}},
          {"example.zzz", Unknown, {"No data available for TLD 'zzz'"}},
          {"zzz", No, {"no registrable label found " EM " 'zzz' is a TLD, not a domain"}},
          {"shop.example.zzz", No,
           {"'shop.example.zzz' is a subdomain of 'example.zzz' " EM " retry with 'example.zzz'"}},
          {"example.123", Unknown, {"No data available for TLD '123'"}},
          {"example.\xD1\x80\xD1\x84", Unknown, {"No data available for TLD 'xn--p1ai'"}},
          {"\xD1\x80\xD1\x84", No,
           {"no registrable label found " EM " 'xn--p1ai' is a TLD, not a domain"}},
          {"y.x.kobe.jp", Unknown, {"No data available for TLD 'x.kobe.jp'"}},
          {"x.kobe.jp", No, {"no registrable label found " EM " 'x.kobe.jp' is a TLD, not a domain"}},
          {"city.kobe.jp", Unknown, {"No data available for TLD 'kobe.jp'"}},
          {"example.github.io", Unknown, {"No data available for TLD 'github.io'"}},
          {"github.io", No, {"no registrable label found " EM " 'github.io' is a TLD, not a domain"}},
          {"a.example.github.io", No,
           {"'a.example.github.io' is a subdomain of 'example.github.io' " EM
            " retry with 'example.github.io'"}},
          {"example.a.se", Yes, passed(1, 63)},
          {"a.se", No, {"no registrable label found " EM " 'a.se' is a TLD, not a domain"}},
      },
      RuleLookup::compiled());
}

TEST(Check, ShippedRules) {
  const Reasons com_no_idn = {"TLD rule: .com does not support IDN (charset is ASCII only)"};
  const Reasons brand = {"TLD rule: ICANN Spec 13 brand TLD; not open for public registration"};
  expect_rows(
      {
          {"example.de", Restricted, {"TLD rule: .de requires eligibility (resident)"}},
          {"example.test", No,
           {"TLD rule: .test is reserved for testing and not open for public registration"}},
          {"example.mo.us", No, {"TLD rule: .mo.us is reserved for Missouri government use"}},
          {"example.google", No, brand},
          {"a.co.uk", No, {"TLD rule: label too short (min 3, got 1) under .co.uk"}},
          {"ab.co.uk", No, {"TLD rule: label too short (min 3, got 2) under .co.uk"}},
          {"abc.co.uk", Yes, passed(3, 63)},
          {"za.sk", No, {"TLD rule: label 'za' is banned under .sk"}},
          {"ZA.sk", No, {"TLD rule: label 'za' is banned under .sk"}},
          {"zaa.sk", Yes, passed(1, 63)},
          {"b\xC3\xBC" "cher.com", No, com_no_idn},
          {"B\xC3\x9C" "CHER.com", No, com_no_idn},
          {"xn--bcher-kva.com", No, com_no_idn},
          {"b\xC3\xBC" "cher.de", No, {"TLD rule: .de does not support IDN (charset is ASCII only)"}},
          // Full-width letters: IDNA makes them ASCII, the typed label is not.
          {"\xEF\xBD\x85\xEF\xBD\x98\xEF\xBD\x81\xEF\xBD\x8D\xEF\xBD\x90\xEF\xBD\x8C\xEF\xBD\x85.com",
           No, com_no_idn},
          // U+3002 cuts no typed label: the whole typed text is the label.
          {"example\xE3\x80\x82" "com", No, com_no_idn},
          {"example.\xE8\xB0\xB7\xE6\xAD\x8C", No, brand},
          {"example.xn--flw351e", No, brand},
          {"ab--cd.com", Yes, passed(1, 63)},
          {"123.com", Yes, passed(1, 63)},
          {std::string(63, 'a') + ".com", Yes, passed(1, 63)},
      },
      RuleLookup::compiled());
}

// The pipeline under variants of the rule com that the shipped table does not hold.
TEST(Check, ChangedComRule) {
  struct Variant {
    std::function<void(TldRule&)> change;
    std::vector<Row> rows;
  };
  const std::string cafe = "caf\xC3\xA9.com";
  const std::vector<Variant> variants = {
      {[](TldRule& r) { r.charset = Charset::Idn; },
       {{"b\xC3\xBC" "cher.com", Yes, passed4(1, 63)},
        {"xn--bcher-kva.com", Yes, passed4(1, 63)},
        {"example.com", Yes, passed4(1, 63)}}},
      {[](TldRule& r) {
         r.charset = Charset::Idn;
         r.idn_chars = "\xC3\xA9";
       },
       {{cafe, Yes, passed4(1, 63)},
        {"Caf\xC3\xA9.com", Yes, passed4(1, 63)},
        {"CAF\xC3\x89.com", No,
         {"TLD rule: character '\xC3\x89' (U+00C9) is not allowed under .com (allowed IDN "
          "characters: \xC3\xA9)"}},
        {"b\xC3\xBC" "cher.com", No,
         {"TLD rule: character '\xC3\xBC' (U+00FC) is not allowed under .com (allowed IDN "
          "characters: \xC3\xA9)"}},
        // Above U+FFFF the code point takes five digits.
        {"a\xF0\x9F\x98\x80.com", No,
         {"TLD rule: character '\xF0\x9F\x98\x80' (U+1F600) is not allowed under .com (allowed "
          "IDN characters: \xC3\xA9)"}}}},
      {[](TldRule& r) {
         r.charset = Charset::Idn;
         r.length_basis = LengthBasis::Unicode;
         r.min_length = 5;
       },
       {{cafe, No, {"TLD rule: label too short (min 5, got 4) under .com"}},
        {"cafe\xCC\x81.com", Yes, passed4(5, 63)}}},
      {[](TldRule& r) {
         r.charset = Charset::Idn;
         r.min_length = 5;
       },
       {{cafe, Yes, passed4(5, 63)}}},  // xn--caf-dma: 11 bytes
      {[](TldRule& r) { r.max_length = 5; },
       {{"abcde.com", Yes, passed(1, 5)},
        {"abcdef.com", No, {"TLD rule: label too long (max 5, got 6) under .com"}}}},
      {[](TldRule& r) { r.registerable = RuleStatus::Restricted; },
       {{"example.com", Restricted, {"TLD rule: .com requires eligibility"}},
        {"a_b.com", No, {"DNS syntax: label contains invalid characters"}}}},
      {[](TldRule& r) { r.registerable = RuleStatus::No; },
       {{"example.com", No, {"TLD rule: .com is not open for registration"}}}},
      {[](TldRule& r) {
         static constexpr std::string_view banned[] = {"Shop"};
         r.banned = banned;
         r.registerable = RuleStatus::No;
       },
       // The banned test comes before the outcome.
       {{"SHOP.com", No, {"TLD rule: label 'shop' is banned under .com"}}}},
  };
  for (std::size_t i = 0; i < variants.size(); ++i) {
    SCOPED_TRACE("variant " + std::to_string(i));
    TldRule com = compiled_rule("com");
    variants[i].change(com);
    auto lookup = [&com](std::string_view key) -> std::optional<TldRule> {
      if (key == "com") return com;
      if (auto e = generated::TLD_RULES.get_entry(key)) return e->rule;
      return std::nullopt;
    };
    expect_rows(variants[i].rows, lookup);
    // A lookup may answer with a pointer as well (null: no rule).
    auto by_pointer = [&com](std::string_view key) -> const TldRule* {
      return key == "com" ? &com : nullptr;
    };
    expect_rows(variants[i].rows, by_pointer);
  }
}

TEST(Check, LongInputs) {
  const Registry registry;
  // Under 1 KB, in one ICU call: 340 distinct CJK characters in one label, judged whole.
  std::string cjk;
  for (char32_t c = 0x4E00; c < 0x4E00 + 340; ++c) {
    cjk += static_cast<char>(0xE0 | (c >> 12));
    cjk += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    cjk += static_cast<char>(0x80 | (c & 0x3F));
  }
  EXPECT_EQ(registry.check(cjk + ".com").reasons,
            Reasons{"DNS syntax: domain exceeds 253 characters"});
  EXPECT_EQ(registry.check(cjk + "\xEF\xBF\xBD.com").reasons,
            Reasons{"DNS syntax: invalid IDNA input"});
  // Long enough to be judged, but its "xn--" label decodes to one character, so the judged
  // answer is shorter than any name may be: the ASCII form (254 bytes) decides.
  std::string shy_pad;
  for (int i = 0; i < 600; ++i) shy_pad += "\xC2\xAD";
  const std::string a63(63, 'a');
  const std::string near_limit = a63 + "." + a63 + "." + a63 + "." + std::string(54, 'a');
  EXPECT_EQ(registry.check(shy_pad + near_limit + ".xn--www").reasons,
            Reasons{"DNS syntax: domain exceeds 253 characters"});
  EXPECT_EQ(registry.check(near_limit + ".xn--www").reasons,
            Reasons{"DNS syntax: domain exceeds 253 characters"});

  // Over 253 bytes typed, but short once mapped: soft hyphens vanish, and the name reaches the
  // rule, whose IDN test reads the label as typed.
  std::string soft;
  for (int i = 0; i < 200; ++i) soft += "\xC2\xAD";
  EXPECT_EQ(registry.check("exa" + soft + "mple.com").reasons,
            Reasons{"TLD rule: .com does not support IDN (charset is ASCII only)"});

  std::string labels;
  for (int i = 0; i < 3'000'000; ++i) labels += "\xC3\xBC.";
  labels += "com";
  EXPECT_EQ(registry.check(labels).reasons, Reasons{"DNS syntax: domain exceeds 253 characters"});
  std::string shy = " ";
  for (int i = 0; i < 5'000'000; ++i) shy += "\xC2\xAD";
  EXPECT_EQ(registry.check(shy + " ").reasons, Reasons{"DNS syntax: empty domain"});
  EXPECT_EQ(registry.check(std::string(10'000'000, 'a') + ".com").reasons,
            Reasons{"DNS syntax: domain exceeds 253 characters"});

  // A label too long for ICU's Punycode encoder is still judged by UTS #46: valid, it fails
  // by its length; invalid, it is refused.
  for (int n : {1000, 1001, 5000}) {
    std::string label;
    for (int i = 0; i < n; ++i) label += "\xC3\xBC";
    SCOPED_TRACE(n);
    EXPECT_EQ(registry.check(label + ".com").reasons,
              Reasons{"DNS syntax: domain exceeds 253 characters"});
    EXPECT_EQ(registry.check(label + "\xEF\xBF\xBD.com").reasons,
              Reasons{"DNS syntax: invalid IDNA input"});
    EXPECT_EQ(registry.check("\xD7\x90.1" + label + ".com").reasons,  // fails CheckBidi
              Reasons{"DNS syntax: invalid IDNA input"});
  }
  // So is a joiner out of context in such a label.
  EXPECT_EQ(registry.check("a\xE2\x80\x8C" + std::string(1000, 'b') + ".com").reasons,
            Reasons{"DNS syntax: invalid IDNA input"});

  // Long runs of combining marks out of canonical order: putting them in order must not cost
  // the square of their length (these took ICU's normaliser tens of seconds).
  std::string alternating = "a";
  for (int i = 0; i < 200'000; ++i) alternating += "\xCC\x81\xCC\x96";  // U+0301 U+0316
  std::string descending = "a";
  for (int i = 0; i < 100'000; ++i) descending += "\xCC\x81";
  for (int i = 0; i < 50'000; ++i) descending += "\xE0\xBD\xB3";  // U+0F73, two marks
  for (const std::string& marks : {alternating, descending}) {
    EXPECT_EQ(registry.check(marks + ".com").reasons,
              Reasons{"DNS syntax: domain exceeds 253 characters"});
    EXPECT_EQ(registry.check(marks + "\xEF\xBF\xBD.com").reasons,
              Reasons{"DNS syntax: invalid IDNA input"});
    EXPECT_EQ(registry.check("a." + marks.substr(1) + ".com").reasons,  // a leading mark
              Reasons{"DNS syntax: invalid IDNA input"});
  }
}

TEST(TrimWhiteSpace, ExactlyTheWhiteSpaceProperty) {
  const std::vector<std::string> white = {
      "\t", "\n", "\v", "\f", "\r", " ", "\xC2\x85", "\xC2\xA0", "\xE1\x9A\x80",
      "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82", "\xE2\x80\x83", "\xE2\x80\x84",
      "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88", "\xE2\x80\x89",
      "\xE2\x80\x8A", "\xE2\x80\xA8", "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F",
      "\xE3\x80\x80"};
  ASSERT_EQ(white.size(), 25u);
  for (const auto& w : white) {
    SCOPED_TRACE(printable(w));
    EXPECT_EQ(trim_white_space(w + w + "a b" + w), "a b");
    EXPECT_EQ(trim_white_space(w), "");
  }
  const std::vector<std::string> kept = {"\x1C", "\x1F", "\xE1\xA0\x8E", "\xE2\x80\x8B",
                                         "\xEF\xBB\xBF", "\xC2\x84", "\xE2\x81\xA0",
                                         "\xE3\x80\x81", std::string(1, '\0')};
  for (const auto& k : kept) {
    SCOPED_TRACE(printable(k));
    EXPECT_EQ(trim_white_space(" " + k + "a" + k + " "), k + "a" + k);
  }
  // A character that ends in a white-space byte sequence's tail is not cut.
  EXPECT_EQ(trim_white_space("a\xC3\xA0"), "a\xC3\xA0");
}

TEST(RuleTests, ReasonTexts) {
  TldRule r = compiled_rule("com");
  r.note = std::nullopt;
  const std::pair<ClosedReason, std::string_view> reasons[] = {
      {ClosedReason::BrandTld, "TLD rule: .com is a brand TLD (ICANN Spec 13), not open for registration"},
      {ClosedReason::Infrastructure, "TLD rule: .com is an infrastructure TLD, not open for registration"},
      {ClosedReason::Government, "TLD rule: .com is a government TLD, not open for public registration"},
      {ClosedReason::Retired, "TLD rule: .com is a retired TLD, not open for registration"},
      {ClosedReason::None, "TLD rule: .com is not open for registration"},
      {static_cast<ClosedReason>(200), "TLD rule: .com is not open for registration"},
  };
  for (const auto& [reason, text] : reasons) {
    r.reason = reason;
    EXPECT_EQ(closed_reason(r), text);
  }

  EXPECT_EQ(restricted_reason(r), "TLD rule: .com requires eligibility");
  static constexpr std::string_view one[] = {"resident"};
  static constexpr std::string_view two[] = {"a", "b"};
  static constexpr std::string_view blank[] = {""};
  r.restrictions = one;
  EXPECT_EQ(restricted_reason(r), "TLD rule: .com requires eligibility (resident)");
  r.restrictions = two;
  EXPECT_EQ(restricted_reason(r), "TLD rule: .com requires eligibility (a, b)");
  r.restrictions = blank;
  EXPECT_EQ(restricted_reason(r), "TLD rule: .com requires eligibility ()");

  // A note wins over everything else, even an empty one.
  r.note = "custom";
  EXPECT_EQ(restricted_reason(r), "TLD rule: custom");
  EXPECT_EQ(closed_reason(r), "TLD rule: custom");
  r.note = "";
  EXPECT_EQ(closed_reason(r), "TLD rule: ");

  EXPECT_EQ(restricted_reason(compiled_rule("de")),
            "TLD rule: .de requires eligibility (resident)");
  EXPECT_EQ(closed_reason(compiled_rule("google")),
            "TLD rule: ICANN Spec 13 brand TLD; not open for public registration");
}

TEST(RuleTests, RegistrableLabel) {
  const std::tuple<std::string_view, std::string_view, std::string_view> rows[] = {
      {"example.com", "com", "example"},
      {"example.co.uk", "co.uk", "example"},
      {"shop.example.com", "com", "shop.example"},
      {"com", "com", "com"},
      {"examplecom", "com", "examplecom"},
      {"example.com", "COM", "example.com"},
      {"com", "example.com", "com"},
      {"a.", "", "a"},
      {"ab", "", "ab"},
  };
  for (const auto& [domain, suffix, label] : rows)
    EXPECT_EQ(registrable_label(domain, suffix), label) << domain << " " << suffix;
}

TEST(RuleTests, IdnCharacters) {
  const std::string_view u = "\xC3\xBC", e = "\xC3\xA9";
  struct Row {
    std::string label;
    std::string_view allowed;
    bool ok;
    std::optional<char32_t> first;
  };
  const Row rows[] = {
      {"", "", true, std::nullopt},
      {"", "x", true, std::nullopt},
      {"ab-9Z", "", true, std::nullopt},
      {"a_b", "", false, std::nullopt},  // ASCII is never reported
      {"a_b", "_", true, std::nullopt},
      {"b\xC3\xBC" "cher", u, true, std::nullopt},
      {"b\xC3\xBC" "cher", e, false, U'\u00FC'},
      {"e\xCC\x81", e, false, U'\u0301'},  // decomposed: the accent is not contained
      {"\xC3\xA7" "a\xC3\xB6", "\xC3\xA7", false, U'\u00F6'},
      {"\xC3\x84", "\xC3\xA4", false, U'\u00C4'},  // no folding
      {"x\xF0\x9F\x98\x80y\xC3\xB6", e, false, U'\U0001F600'},  // the leftmost
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(printable(r.label));
    EXPECT_EQ(idn_characters_allowed(r.label, r.allowed), r.ok);
    EXPECT_EQ(first_disallowed_idn_char(r.label, r.allowed), r.first);
  }
}

TEST(RuleTests, BannedLabels) {
  static constexpr std::string_view za[] = {"za"};
  static constexpr std::string_view upper[] = {"x", "ZA"};
  static constexpr std::string_view empty_entry[] = {""};
  static constexpr std::string_view umlaut[] = {"\xC3\xBC"};
  EXPECT_TRUE(is_banned_label(za, "za"));
  EXPECT_TRUE(is_banned_label(za, "ZA"));
  EXPECT_TRUE(is_banned_label(za, "Za"));
  EXPECT_TRUE(is_banned_label(upper, "za"));
  EXPECT_FALSE(is_banned_label(za, "zaa"));
  EXPECT_FALSE(is_banned_label({}, "za"));
  EXPECT_TRUE(is_banned_label(empty_entry, ""));
  EXPECT_FALSE(is_banned_label(umlaut, "\xC3\x9C"));  // non-ASCII letters differ by case
}

TEST(TldInfo, NormalisesLightly) {
  const Registry registry;
  const std::pair<std::string, std::optional<std::string_view>> rows[] = {
      {"com", "com"},
      {"COM", "com"},
      {".COM", "com"},
      {"...com", "com"},
      {" com", "com"},
      {"com\xE3\x80\x80", "com"},
      {" .com", "com"},
      {"com.", std::nullopt},
      {". com", std::nullopt},
      {"", std::nullopt},
      {"   ", std::nullopt},
      {"...", std::nullopt},
      {"co.uk", "co.uk"},
      {"CO.UK", "co.uk"},
      {".co.uk", "co.uk"},
      {"\xD1\x80\xD1\x84", "\xD1\x80\xD1\x84"},
      {"\xD0\xA0\xD0\xA4", std::nullopt},  // Cyrillic capitals are not folded
      {"xn--p1ai", std::nullopt},
      {"*.ck", "*.ck"},
      {"*.CK", "*.ck"},
      {"city.kobe.jp", "city.kobe.jp"},
      {"CITY.KOBE.JP", "city.kobe.jp"},
      {"!city.kobe.jp", std::nullopt},
      {"kobe.jp", std::nullopt},
      {"ck", std::nullopt},
      {"com\xE3\x80\x82", std::nullopt},
      {std::string(100, 'a'), std::nullopt},
      {std::string("com\0", 4), std::nullopt},
  };
  for (const auto& [input, key] : rows) {
    SCOPED_TRACE(printable(input));
    const std::optional<TldRule> rule = registry.tld_info(input);
    if (key) {
      ASSERT_TRUE(rule.has_value());
      EXPECT_EQ(rule->tld, *key);
    } else {
      EXPECT_FALSE(rule.has_value());
    }
  }
  const std::optional<TldRule> brand = registry.tld_info("xn--flw351e");
  const std::optional<TldRule> plain = registry.tld_info("\xE8\xB0\xB7\xE6\xAD\x8C");
  ASSERT_TRUE(brand && plain);
  EXPECT_EQ(brand->registerable, RuleStatus::No);
  EXPECT_EQ(plain->registerable, RuleStatus::Yes);
  EXPECT_EQ(registry.tld_info("de")->registerable, RuleStatus::Restricted);
  EXPECT_EQ(registry.tld_info("test")->registerable, RuleStatus::No);
  EXPECT_EQ(registry.tld_info("mo.us")->registerable, RuleStatus::No);
  EXPECT_EQ(registry.tld_info("sk")->registerable, RuleStatus::Yes);
}

}  // namespace
}  // namespace zelvar::registry
