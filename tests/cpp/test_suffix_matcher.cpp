#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "checker.hpp"
#include "idna.hpp"
#include "suffix_matcher.hpp"

#ifndef ZELVAR_TEST_DATA_DIR
#error "ZELVAR_TEST_DATA_DIR must name tests/cpp/data"
#endif

namespace zelvar::psl {
namespace {

std::string_view suffix_of(std::string_view name) {
  const std::size_t n = public_suffix_length(name.data(), name.size());
  return name.substr(name.size() - std::min(n, name.size()));
}

// The name as the check hands it to the matcher: folded, converted by IDNA and valid DNS
// syntax; nothing for a name the check refuses earlier.
std::optional<std::string> prepare(std::string_view input) {
  std::string typed(input);
  for (char& c : typed)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  std::string ascii;
  if (!idna::domain_to_ascii(typed, ascii)) return std::nullopt;
  if (checker::validate_ascii_domain(ascii)) return std::nullopt;
  return ascii;
}

// The registrable domain by the matcher's answer: the label in front of the suffix and the
// suffix; nothing when the name is its own suffix.
std::optional<std::string> registrable_domain(const std::string& name) {
  const std::size_t n = name.size();
  const std::size_t len = public_suffix_length(name.data(), n);
  if (len == 0 || n < len + 2) return std::nullopt;
  std::size_t root = n - len - 1;
  while (root > 0 && name[root - 1] != '.') --root;
  return name.substr(root);
}

// One argument of a vector line: 'text' or null.
std::optional<std::string> parse_arg(std::string_view& rest) {
  while (!rest.empty() && (rest.front() == ' ' || rest.front() == ',')) rest.remove_prefix(1);
  if (rest.starts_with("null")) {
    rest.remove_prefix(4);
    return std::nullopt;
  }
  EXPECT_TRUE(rest.starts_with("'")) << rest;
  rest.remove_prefix(1);
  const std::size_t end = rest.find('\'');
  std::string value(rest.substr(0, end));
  rest.remove_prefix(end + 1);
  return value;
}

TEST(SuffixMatcher, PublishedTestVectors) {
  std::ifstream file(ZELVAR_TEST_DATA_DIR "/test_psl.txt");
  ASSERT_TRUE(file) << "cannot open test_psl.txt";
  std::string line;
  int vectors = 0;
  while (std::getline(file, line)) {
    std::string_view rest = line;
    constexpr std::string_view call = "checkPublicSuffix(";
    if (!rest.starts_with(call)) continue;
    rest.remove_prefix(call.size());
    const auto input = parse_arg(rest);
    const auto expected = parse_arg(rest);
    ++vectors;
    if (!input) continue;  // the null input has no counterpart here
    SCOPED_TRACE(line);
    const auto name = prepare(*input);
    std::optional<std::string> got;
    if (name) got = registrable_domain(*name);
    std::optional<std::string> want;
    if (expected) {
      want = prepare(*expected);
      ASSERT_TRUE(want.has_value());
    }
    EXPECT_EQ(got, want);
  }
  EXPECT_GE(vectors, 70);  // the file was read, not skipped
}

TEST(SuffixMatcher, RulesOfBothSections) {
  struct Row {
    std::string_view name;
    std::string_view suffix;
  };
  const Row rows[] = {
      {"com", "com"},
      {"example.com", "com"},
      {"a.b.example.co.uk", "co.uk"},
      {"example.zzz", "zzz"},  // implicit rule
      {"zzz", "zzz"},
      {"example.123", "123"},
      {"example.a.se", "a.se"},
      {"a.se", "a.se"},
      // Wildcard: exactly one label under the rule.
      {"y.x.kobe.jp", "x.kobe.jp"},
      {"x.kobe.jp", "x.kobe.jp"},
      {"kobe.jp", "jp"},  // the parent of a wildcard is no suffix by itself
      {"mm", "mm"},
      {"c.mm", "c.mm"},
      // Exception: the rule without its leftmost label.
      {"city.kobe.jp", "kobe.jp"},
      {"www.city.kobe.jp", "kobe.jp"},
      {"www.ck", "ck"},
      {"a.www.ck", "ck"},
      {"other.ck", "other.ck"},
      // PRIVATE section.
      {"example.github.io", "github.io"},
      {"github.io", "github.io"},
      {"a.b.github.io", "github.io"},
      {"io", "io"},
      // Internationalised rules in their ASCII form.
      {"example.xn--p1ai", "xn--p1ai"},
      {"example.xn--flw351e", "xn--flw351e"},
  };
  for (const auto& r : rows) EXPECT_EQ(suffix_of(r.name), r.suffix) << r.name;
}

TEST(SuffixMatcher, MalformedInputStaysInBounds) {
  const std::string_view cases[] = {"", ".", "..", "com.", ".com", "a..com", "a.com..", "..jp"};
  for (auto s : cases) {
    const std::size_t n = public_suffix_length(s.data(), s.size());
    EXPECT_LE(n, s.size()) << s;
  }
  EXPECT_EQ(public_suffix_length("", 0), 0u);
  EXPECT_EQ(suffix_of("com."), "");  // the rightmost label is empty
  // No terminator is read: the length ends the name.
  const char buf[] = {'a', '.', 'c', 'o', 'm', '.', 'u', 'k'};
  EXPECT_EQ(public_suffix_length(buf, 5), 3u);
}

}  // namespace
}  // namespace zelvar::psl
