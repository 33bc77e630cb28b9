// Value types shared by the rule table, the checker and the Python layer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zelvar::types {

// Every enumeration is one byte so that the generated table stays compact; readers tolerate
// values outside the named ones as each word function below documents.
enum class RuleStatus : std::uint8_t { Yes = 0, No = 1, Restricted = 2 };
enum class ClosedReason : std::uint8_t {
  BrandTld = 0,
  Infrastructure = 1,
  Government = 2,
  Retired = 3,
  None = 4,  // any value above 3 reads as "no reason"
};
enum class LengthBasis : std::uint8_t { Ascii = 0, Unicode = 1 };
enum class Charset : std::uint8_t { Ascii = 0, Idn = 1 };
enum class CheckStatus : std::uint8_t { Yes = 0, No = 1, Restricted = 2, Unknown = 3 };

// Words as Python code sees them. Static text, never allocated.
std::string_view word(RuleStatus v) noexcept;  // values above 2 read as "restricted"
// Empty view for an absent reason (any value above 3).
std::string_view word(ClosedReason v) noexcept;
std::string_view word(LengthBasis v) noexcept;  // 0 "ascii", anything else "unicode"
std::string_view word(Charset v) noexcept;      // 0 "ascii", anything else "idn"
std::string_view word(CheckStatus v) noexcept;  // values above 3 read as "unknown"

constexpr bool has_reason(ClosedReason r) noexcept { return static_cast<std::uint8_t>(r) <= 3; }

// ASCII folding: "A" to "Z" become "a" to "z", every other byte stays. The only case folding
// that the system's own code applies; IDNA folds the rest.
constexpr char fold_ascii(char c) noexcept {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}
inline void fold_ascii_in_place(std::string& s) noexcept {
  for (char& c : s) c = fold_ascii(c);
}

// Characters (Unicode scalar values) of valid UTF-8.
constexpr std::size_t count_chars(std::string_view s) noexcept {
  std::size_t n = 0;
  for (const char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

struct RuleSource {
  std::string_view field;
  std::string_view url;
};

// One registration rule. Rules live only in the generated static table; every view and span
// points at static data.
struct TldRule {
  std::string_view tld;
  RuleStatus registerable;
  ClosedReason reason;
  std::optional<std::string_view> note;  // absent differs from empty
  std::span<const std::string_view> restrictions;
  std::uint8_t min_length;
  std::uint8_t max_length;
  LengthBasis length_basis;
  std::span<const std::string_view> banned;
  Charset charset;
  std::string_view idn_chars;
  std::span<const RuleSource> sources;
};

// The verdict on one name. "yes" carries the passed checks in order; any other status exactly
// one reason.
struct CheckResult {
  CheckStatus status;
  std::vector<std::string> reasons;
};

// An owned copy of a rule with every enumeration rendered as its word.
struct TldRuleSummary {
  std::string tld;
  std::string registerable;
  std::optional<std::string> reason;
  std::optional<std::string> note;
  std::vector<std::string> restrictions;
  std::uint8_t min_length = 0;
  std::uint8_t max_length = 0;
  std::string length_basis;
  std::vector<std::string> banned;
  std::string charset;
  std::string idn_chars;
  std::vector<std::pair<std::string, std::string>> sources;

  static TldRuleSummary from(const TldRule& rule);

  friend bool operator==(const TldRuleSummary&, const TldRuleSummary&) = default;
};

}  // namespace zelvar::types
