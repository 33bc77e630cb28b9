#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "generated.hpp"
#include "types.hpp"

namespace zelvar {
namespace {

using generated::PSL_RULES;
using generated::TLD_RULES;
using types::Charset;
using types::ClosedReason;
using types::LengthBasis;
using types::RuleStatus;
using types::TldRule;
using types::TldRuleSummary;

std::optional<TldRule> find(std::string_view key) {
  if (auto e = TLD_RULES.get_entry(key)) return e->rule;
  return std::nullopt;
}

// The bytes of `text` in a heap block of exactly their size, so that the sanitizer build sees
// any read beyond them.
std::unique_ptr<char[]> exact_copy(std::string_view text) {
  auto p = std::make_unique<char[]>(text.size());
  if (!text.empty()) std::memcpy(p.get(), text.data(), text.size());
  return p;
}

std::vector<std::string> source_fields(const TldRule& r) {
  std::vector<std::string> out;
  for (const auto& s : r.sources) out.emplace_back(s.field);
  return out;
}

TEST(RuleTable, CountsOverAWalk) {
  EXPECT_EQ(TLD_RULES.size(), 6946u);
  std::map<int, int> labels, status, reason, fields;
  int unicode = 0, xn = 0, wildcard = 0, notes = 0, walked = 0;
  for (const auto& e : TLD_RULES) {
    ++walked;
    const auto& r = e.rule;
    ++labels[static_cast<int>(std::count(e.key.begin(), e.key.end(), '.')) + 1];
    ++status[static_cast<int>(r.registerable)];
    ++reason[static_cast<int>(r.reason)];
    if (r.note) ++notes;
    if (std::any_of(e.key.begin(), e.key.end(), [](char c) { return c & 0x80; })) ++unicode;
    if (e.key.starts_with("xn--")) ++xn;
    if (e.key.starts_with("*.")) ++wildcard;
    for (const auto& s : r.sources) ++fields[s.field == "registerable" ? 0
                                             : s.field == "note"       ? 1
                                             : s.field == "reason"     ? 2
                                             : s.field == "restrictions" ? 3
                                             : s.field == "min_length" ? 4
                                             : s.field == "banned"     ? 5
                                                                       : 6];
  }
  EXPECT_EQ(walked, 6946);
  EXPECT_EQ(labels, (std::map<int, int>{{1, 1454}, {2, 3498}, {3, 1991}, {4, 3}}));
  EXPECT_EQ(unicode, 444);
  EXPECT_EQ(xn, 11);
  EXPECT_EQ(wildcard, 16);
  EXPECT_EQ(status, (std::map<int, int>{{0, 6574}, {1, 371}, {2, 1}}));
  EXPECT_EQ(reason, (std::map<int, int>{{0, 369}, {1, 1}, {2, 1}, {4, 6575}}));
  EXPECT_EQ(notes, 372);
  EXPECT_EQ(fields,
            (std::map<int, int>{{0, 6946}, {1, 372}, {2, 371}, {3, 1}, {4, 1}, {5, 1}}));
}

TEST(RuleTable, EveryKeyFindsItsOwnEntryAndMeetsTheInvariants) {
  for (const auto& e : TLD_RULES) {
    const auto copy = exact_copy(e.key);
    const auto found = TLD_RULES.get_entry({copy.get(), e.key.size()});
    ASSERT_TRUE(found.has_value()) << e.key;
    // The very same stored entry: its texts and lists are the same static data.
    EXPECT_EQ(found->key.data(), e.key.data()) << e.key;
    EXPECT_EQ(found->key.size(), e.key.size()) << e.key;
    EXPECT_EQ(found->rule.sources.data(), e.rule.sources.data()) << e.key;
    const auto& r = e.rule;
    EXPECT_EQ(r.tld.data(), e.key.data()) << e.key;
    EXPECT_EQ(r.tld, e.key);
    EXPECT_LE(r.min_length, r.max_length) << e.key;
    EXPECT_EQ(r.max_length, 63) << e.key;
    EXPECT_EQ(r.length_basis, LengthBasis::Ascii) << e.key;
    EXPECT_EQ(r.charset, Charset::Ascii) << e.key;
    EXPECT_TRUE(r.idn_chars.empty()) << e.key;
    const auto fields = source_fields(r);
    EXPECT_TRUE(std::adjacent_find(fields.begin(), fields.end(),
                                   [](const auto& a, const auto& b) { return a >= b; }) ==
                fields.end())
        << e.key << ": sources not strictly ascending";
    EXPECT_TRUE(std::find(fields.begin(), fields.end(), "registerable") != fields.end()) << e.key;
    for (const auto& s : r.sources) EXPECT_TRUE(s.url.starts_with("http")) << e.key;
  }
}

TEST(RuleTable, LookupIsExact) {
  using namespace std::string_view_literals;
  const std::string_view misses[] = {""sv, "COM", "Com", "com.", ".com", " com", "com ", "ck", "er", "kobe.jp", "nom.br",
        "sch.uk", "!city.kobe.jp", "*.CK", "j.se", "q.se", "v.se", "xn--p1ai", "zzz",
        "com\0"sv};
  for (std::string_view miss : misses) {
    EXPECT_FALSE(find(miss).has_value()) << "'" << miss << "'";
  }
  // No parent of a wildcard key is a key, and no rule of the list's PRIVATE section is one.
  int wildcards = 0;
  for (const auto& e : TLD_RULES) {
    if (!e.key.starts_with("*.")) continue;
    ++wildcards;
    EXPECT_FALSE(find(e.key.substr(2)).has_value()) << e.key;
  }
  EXPECT_EQ(wildcards, 16);
  for (std::string_view private_rule : {"github.io", "blogspot.com", "s3.amazonaws.com"}) {
    EXPECT_FALSE(find(private_rule).has_value()) << private_rule;
    EXPECT_TRUE(PSL_RULES.get_entry(private_rule).has_value()) << private_rule;
  }
  for (std::string_view hit : {"com", "*.ck", "city.kobe.jp", "www.ck", "a.se", "z.se", "0.bg",
                               "paroch.k12.ma.us", "рф", "谷歌", "goo", "redstone"}) {
    const auto rule = find(hit);
    ASSERT_TRUE(rule.has_value()) << hit;
    EXPECT_EQ(rule->tld, hit);
  }
}

TEST(RuleTable, RowsThatDepartFromTheDefaults) {
  const auto com = find("com");
  ASSERT_TRUE(com.has_value());
  EXPECT_EQ(com->registerable, RuleStatus::Yes);
  EXPECT_FALSE(types::has_reason(com->reason));
  EXPECT_FALSE(com->note.has_value());
  EXPECT_TRUE(com->restrictions.empty() && com->banned.empty());
  EXPECT_EQ(com->min_length, 1);
  EXPECT_EQ(source_fields(*com), std::vector<std::string>{"registerable"});
  EXPECT_EQ(com->sources[0].url, "https://www.iana.org/domains/root/db/com.html");

  const auto de = find("de");
  ASSERT_TRUE(de.has_value());
  EXPECT_EQ(de->registerable, RuleStatus::Restricted);
  ASSERT_EQ(de->restrictions.size(), 1u);
  EXPECT_EQ(de->restrictions[0], "resident");
  EXPECT_EQ(source_fields(*de), (std::vector<std::string>{"note", "registerable", "restrictions"}));

  EXPECT_EQ(find("co.uk")->min_length, 3);
  ASSERT_EQ(find("sk")->banned.size(), 1u);
  EXPECT_EQ(find("sk")->banned[0], "za");
  EXPECT_EQ(*find("test")->note,
            ".test is reserved for testing and not open for public registration");
  EXPECT_EQ(find("test")->reason, ClosedReason::Infrastructure);
  EXPECT_EQ(*find("mo.us")->note, ".mo.us is reserved for Missouri government use");
  EXPECT_EQ(find("mo.us")->reason, ClosedReason::Government);

  for (std::string_view brand : {"google", "xn--flw351e", "goo", "redstone", "zara"}) {
    const auto r = find(brand);
    ASSERT_TRUE(r.has_value()) << brand;
    EXPECT_EQ(r->registerable, RuleStatus::No) << brand;
    EXPECT_EQ(r->reason, ClosedReason::BrandTld) << brand;
    EXPECT_EQ(source_fields(*r), (std::vector<std::string>{"note", "reason", "registerable"}));
    // Equal lists and texts are stored once.
    EXPECT_EQ(r->sources.data(), find("google")->sources.data()) << brand;
    EXPECT_EQ(r->note->data(), find("google")->note->data()) << brand;
  }
  // The Unicode form of a brand keeps the list's ordinary row.
  EXPECT_EQ(find("谷歌")->registerable, RuleStatus::Yes);
  EXPECT_EQ(find("谷歌")->sources[0].url,
            "https://www.iana.org/domains/root/db/xn--flw351e.html");
}

TEST(SuffixRuleSet, EveryKeyFoundAndEveryTailPresent) {
  std::size_t walked = 0;
  for (const auto& e : PSL_RULES) {
    ++walked;
    const auto copy = exact_copy(e.key);
    const auto found = PSL_RULES.get_entry({copy.get(), e.key.size()});
    ASSERT_TRUE(found.has_value()) << e.key;
    EXPECT_EQ(found->key.data(), e.key.data()) << e.key;
    EXPECT_EQ(found->kinds, e.kinds) << e.key;
    for (auto dot = e.key.find('.'); dot != std::string_view::npos;
         dot = e.key.find('.', dot + 1)) {
      EXPECT_TRUE(PSL_RULES.get_entry(e.key.substr(dot + 1)).has_value()) << e.key;
    }
    EXPECT_TRUE(std::all_of(e.key.begin(), e.key.end(), [](char c) { return !(c & 0x80); }));
  }
  EXPECT_EQ(walked, PSL_RULES.size());
  const auto kinds = [](std::string_view k) -> int {
    const auto e = PSL_RULES.get_entry(k);
    return e ? e->kinds : -1;
  };
  EXPECT_EQ(kinds("kobe.jp"), generated::PSL_WILDCARD);
  EXPECT_EQ(kinds("city.kobe.jp"), generated::PSL_EXCEPTION);
  EXPECT_EQ(kinds("com"), generated::PSL_NORMAL);
  EXPECT_EQ(kinds("xn--p1ai"), generated::PSL_NORMAL);
  EXPECT_EQ(kinds("*.kobe.jp"), -1);
  EXPECT_EQ(kinds("!city.kobe.jp"), -1);
  EXPECT_EQ(kinds(""), -1);
  EXPECT_EQ(kinds("COM"), -1);
  EXPECT_EQ(kinds("com."), -1);
  EXPECT_EQ(kinds("example.com"), -1);
}

// The inline key comparison reads fixed-size, overlapping words: every length and every
// position of a difference, on blocks of exactly the compared size.
TEST(TableKeys, ComparisonAtEveryLengthAndPosition) {
  for (std::size_t n = 0; n <= 40; ++n) {
    std::string text(n, 'a');
    for (std::size_t i = 0; i < n; ++i) text[i] = static_cast<char>('a' + i % 26);
    const auto a = exact_copy(text);
    const auto b = exact_copy(text);
    EXPECT_TRUE(generated::same_bytes(a.get(), b.get(), n)) << n;
    for (std::size_t i = 0; i < n; ++i) {
      b[i] = static_cast<char>(b[i] ^ 0x80);
      EXPECT_FALSE(generated::same_bytes(a.get(), b.get(), n)) << n << " at " << i;
      b[i] = static_cast<char>(b[i] ^ 0x80);
    }
  }
}

// ---- summaries ---------------------------------------------------------------------------

TEST(RuleSummary, OfShippedRows) {
  const auto com = TldRuleSummary::from(*find("com"));
  EXPECT_EQ(com.tld, "com");
  EXPECT_EQ(com.registerable, "yes");
  EXPECT_FALSE(com.reason || com.note);
  EXPECT_TRUE(com.restrictions.empty() && com.banned.empty());
  EXPECT_EQ(com.min_length, 1);
  EXPECT_EQ(com.max_length, 63);
  EXPECT_EQ(com.length_basis, "ascii");
  EXPECT_EQ(com.charset, "ascii");
  EXPECT_EQ(com.idn_chars, "");
  ASSERT_EQ(com.sources.size(), 1u);
  EXPECT_EQ(com.sources[0].first, "registerable");

  const auto de = TldRuleSummary::from(*find("de"));
  EXPECT_EQ(de.registerable, "restricted");
  EXPECT_EQ(de.note, ".de requires eligibility (resident)");
  EXPECT_EQ(de.restrictions, std::vector<std::string>{"resident"});

  const auto google = TldRuleSummary::from(*find("google"));
  EXPECT_EQ(google.registerable, "no");
  EXPECT_EQ(google.reason, "brand_tld");
  EXPECT_EQ(google.note, "ICANN Spec 13 brand TLD; not open for public registration");
  EXPECT_EQ(TldRuleSummary::from(*find("test")).reason, "infrastructure");
  EXPECT_EQ(TldRuleSummary::from(*find("mo.us")).reason, "government");
  EXPECT_EQ(TldRuleSummary::from(*find("sk")).banned, std::vector<std::string>{"za"});
}

TEST(RuleSummary, ReasonAndEnumerationWordsOfBuiltRules) {
  TldRule rule = *find("com");
  rule.reason = ClosedReason::Retired;
  EXPECT_EQ(TldRuleSummary::from(rule).reason, "retired");
  for (int v = 4; v <= 255; ++v) {
    rule.reason = static_cast<ClosedReason>(v);
    EXPECT_FALSE(TldRuleSummary::from(rule).reason.has_value()) << v;
  }
  rule.length_basis = LengthBasis::Unicode;
  rule.charset = Charset::Idn;
  rule.note = std::string_view{};
  const auto s = TldRuleSummary::from(rule);
  EXPECT_EQ(s.length_basis, "unicode");
  EXPECT_EQ(s.charset, "idn");
  ASSERT_TRUE(s.note.has_value());  // present but empty differs from absent
  EXPECT_EQ(*s.note, "");
}

TEST(RuleSummary, CopiesAreEqualAndIndependent) {
  auto a = TldRuleSummary::from(*find("de"));
  const auto b = TldRuleSummary::from(*find("de"));
  EXPECT_EQ(a, b);
  a.restrictions.clear();
  a.note.reset();
  EXPECT_EQ(b, TldRuleSummary::from(*find("de")));
  EXPECT_EQ(find("de")->restrictions.size(), 1u);
}

}  // namespace
}  // namespace zelvar
