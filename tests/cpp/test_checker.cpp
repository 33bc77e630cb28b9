#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "checker.hpp"

namespace zelvar::checker {
namespace {

constexpr std::string_view kEmptyDomain = "DNS syntax: empty domain";
constexpr std::string_view kTooLong = "DNS syntax: domain exceeds 253 characters";
constexpr std::string_view kEmptyLabel = "DNS syntax: empty label";
constexpr std::string_view kLabelTooLong = "DNS syntax: label exceeds 63 characters";
constexpr std::string_view kHyphen = "DNS syntax: label cannot start or end with a hyphen";
constexpr std::string_view kInvalid = "DNS syntax: label contains invalid characters";

struct Case {
  std::string input;
  std::optional<std::string_view> failure;  // nullopt: the name is valid
};

std::string letters(std::size_t n) { return std::string(n, 'a'); }

TEST(ValidateAsciiDomain, FirstFailureInTestOrder) {
  const std::string name253 = letters(63) + "." + letters(63) + "." + letters(63) + "." + letters(61);
  const std::vector<Case> cases = {
      {"", kEmptyDomain},
      {name253, std::nullopt},
      {name253 + "a", kTooLong},
      {"a" + name253, kTooLong},
      // The whole-name test comes before any label test.
      {letters(64) + "." + std::string(200, 'b'), kTooLong},
      {"a_b." + std::string(260, 'c'), kTooLong},
      {std::string(254, '.'), kTooLong},
      {letters(63), std::nullopt},
      {letters(64), kLabelTooLong},
      {".com", kEmptyLabel},
      {"a..com", kEmptyLabel},
      {"example.com.", kEmptyLabel},
      {".", kEmptyLabel},
      {std::string(253, '.'), kEmptyLabel},
      {"-a.com", kHyphen},
      {"a-.com", kHyphen},
      {"-.com", kHyphen},
      {"a-b.com", std::nullopt},
      {"a_b.com", kInvalid},
      {"Example.com", kInvalid},
      {"exa mple.com", kInvalid},
      {"a`b.com", kInvalid},
      {"a{b.com", kInvalid},
      {"a/b.com", kInvalid},
      {"a:b.com", kInvalid},
      {"a@b.com", kInvalid},
      {"a[b.com", kInvalid},
      {"b\xc3\xbc" "cher.com", kInvalid},
      {std::string("a\0b.com", 7), kInvalid},
      // Within a label: length, then hyphen, then bytes.
      {"a_b-.com", kHyphen},
      {"-a_b.com", kHyphen},
      {letters(64) + "-.com", kLabelTooLong},
      // The leftmost failing label decides.
      {"a_b.-x.com", kInvalid},
      {letters(64) + ".a_b", kLabelTooLong},
      {"ok.a_b..x", kInvalid},
      {"xn--bcher-kva.com", std::nullopt},
      {"ab--cd.com", std::nullopt},
      {"123.456", std::nullopt},
      {"0.bg", std::nullopt},
      {"com", std::nullopt},
      {"a.b-c.d9", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input.size() > 80 ? c.input.substr(0, 80) + "..." : c.input);
    const auto got = validate_ascii_domain(c.input);
    if (c.failure) {
      ASSERT_TRUE(got.has_value());
      EXPECT_EQ(*got, *c.failure);
    } else {
      EXPECT_FALSE(got.has_value()) << *got;
    }
  }
}

TEST(ValidateAsciiDomain, EveryByteOutsideLdhIsInvalid) {
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    std::string name = "a";
    name.push_back(c);
    name += "b.com";
    const auto got = validate_ascii_domain(name);
    const bool ldh = (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-';
    if (ldh) {
      EXPECT_FALSE(got.has_value()) << b;
    } else if (b == '.') {
      EXPECT_FALSE(got.has_value());
    } else {
      ASSERT_TRUE(got.has_value()) << b;
      EXPECT_EQ(*got, kInvalid) << b;
    }
  }
}

}  // namespace
}  // namespace zelvar::checker
