#include "registry.hpp"

#include <charconv>
#include <cstring>
#include <initializer_list>
#include <utility>
#include <vector>

#include "checker.hpp"
#include "generated.hpp"
#include "idna.hpp"
#include "suffix_matcher.hpp"

namespace zelvar::registry {

using types::Charset;
using types::CheckResult;
using types::CheckStatus;
using types::ClosedReason;
using types::LengthBasis;
using types::RuleStatus;
using types::TldRule;

namespace {

// Texts are built with one allocation each: the parts are measured first.
std::string concat(std::initializer_list<std::string_view> parts) {
  std::size_t n = 0;
  for (auto p : parts) n += p.size();
  std::string s(n, '\0');
  char* out = s.data();
  for (auto p : parts) {
    if (!p.empty()) std::memcpy(out, p.data(), p.size());
    out += p.size();
  }
  return s;
}

// A number written into a small buffer; views of it live as long as the object.
class Text {
 public:
  static Text decimal(std::uint64_t v) noexcept {
    Text t;
    const char* end = std::to_chars(t.buf_, t.buf_ + sizeof t.buf_, v).ptr;
    t.len_ = static_cast<std::size_t>(end - t.buf_);
    return t;
  }
  // Uppercase hexadecimal, at least four digits.
  static Text hex4(std::uint32_t v) noexcept {
    Text t;
    char digits[8];
    const auto* end = std::to_chars(digits, digits + sizeof digits, v, 16).ptr;
    const auto n = static_cast<std::size_t>(end - digits);
    std::size_t i = 0;
    for (; i + n < 4; ++i) t.buf_[i] = '0';
    for (std::size_t k = 0; k < n; ++k, ++i) {
      const char c = digits[k];
      t.buf_[i] = (c >= 'a' && c <= 'f') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    t.len_ = i;
    return t;
  }
  // The UTF-8 form of a code point (U+FFFD for a value that is no scalar value).
  static Text utf8(char32_t c) noexcept {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    Text t;
    if (c < 0x80) {
      t.buf_[0] = static_cast<char>(c);
      t.len_ = 1;
    } else if (c < 0x800) {
      t.buf_[0] = static_cast<char>(0xC0 | (c >> 6));
      t.buf_[1] = static_cast<char>(0x80 | (c & 0x3F));
      t.len_ = 2;
    } else if (c < 0x10000) {
      t.buf_[0] = static_cast<char>(0xE0 | (c >> 12));
      t.buf_[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      t.buf_[2] = static_cast<char>(0x80 | (c & 0x3F));
      t.len_ = 3;
    } else {
      t.buf_[0] = static_cast<char>(0xF0 | (c >> 18));
      t.buf_[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      t.buf_[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      t.buf_[3] = static_cast<char>(0x80 | (c & 0x3F));
      t.len_ = 4;
    }
    return t;
  }
  operator std::string_view() const noexcept { return {buf_, len_}; }  // NOLINT: by design

 private:
  char buf_[24] = {};
  std::size_t len_ = 0;
};

CheckResult verdict(CheckStatus status, std::string reason) {
  CheckResult r{status, {}};
  r.reasons.reserve(1);
  r.reasons.push_back(std::move(reason));
  return r;
}

// An ASCII-folded copy of a text, on the stack when it is short, as nearly every name is;
// only a longer text takes an allocation.
class FoldedCopy {
 public:
  explicit FoldedCopy(std::string_view text) {
    char* out = small_;
    if (text.size() > sizeof small_) {
      large_.resize(text.size());
      out = large_.data();
    }
    for (std::size_t i = 0; i < text.size(); ++i)
      out[i] = types::fold_ascii(text[i]);
    view_ = std::string_view(out, text.size());
  }
  FoldedCopy(const FoldedCopy&) = delete;
  FoldedCopy& operator=(const FoldedCopy&) = delete;

  std::string_view view() const noexcept { return view_; }

 private:
  char small_[256];
  std::string large_;
  std::string_view view_;
};

constexpr bool is_ldh(unsigned char c) noexcept {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

// Bytes of the character that starts at p (valid UTF-8 assumed; never more than `avail`).
std::size_t char_bytes(const char* p, std::size_t avail) noexcept {
  const auto c = static_cast<unsigned char>(*p);
  std::size_t n = 1;
  if (c >= 0xF0 && c <= 0xF7)
    n = 4;
  else if (c >= 0xE0)
    n = c <= 0xEF ? 3 : 1;
  else if (c >= 0xC0)
    n = 2;
  return n < avail ? n : avail;
}

// The code point of one character as char_bytes cut it; U+FFFD for a malformed one.
char32_t decode(const char* p, std::size_t n) noexcept {
  const auto b = [p](std::size_t i) { return static_cast<unsigned char>(p[i]); };
  if (n == 1) return b(0) < 0x80 ? b(0) : 0xFFFD;
  for (std::size_t i = 1; i < n; ++i)
    if ((b(i) & 0xC0) != 0x80) return 0xFFFD;
  if (n == 2) return static_cast<char32_t>(((b(0) & 0x1F) << 6) | (b(1) & 0x3F));
  if (n == 3)
    return static_cast<char32_t>(((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F));
  return static_cast<char32_t>(((b(0) & 0x07) << 18) | ((b(1) & 0x3F) << 12) |
                               ((b(2) & 0x3F) << 6) | (b(3) & 0x3F));
}

bool contains(std::string_view text, std::string_view ch) noexcept {
  return text.find(ch) != std::string_view::npos;
}

bool has_non_ascii(std::string_view s) noexcept {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  return false;
}

// Byte length of the White_Space character at the start of [p, p + avail), or 0.
std::size_t white_space_at(const unsigned char* p, std::size_t avail) noexcept {
  const unsigned char c = p[0];
  if ((c >= 0x09 && c <= 0x0D) || c == 0x20) return 1;
  if (c == 0xC2) return avail >= 2 && (p[1] == 0x85 || p[1] == 0xA0) ? 2 : 0;  // U+0085, U+00A0
  if (avail < 3) return 0;
  if (c == 0xE1) return p[1] == 0x9A && p[2] == 0x80 ? 3 : 0;  // U+1680
  if (c == 0xE3) return p[1] == 0x80 && p[2] == 0x80 ? 3 : 0;  // U+3000
  if (c == 0xE2) {
    if (p[1] == 0x80)  // U+2000..U+200A, U+2028, U+2029, U+202F
      return (p[2] >= 0x80 && p[2] <= 0x8A) || p[2] == 0xA8 || p[2] == 0xA9 || p[2] == 0xAF ? 3
                                                                                           : 0;
    if (p[1] == 0x81) return p[2] == 0x9F ? 3 : 0;  // U+205F
  }
  return 0;
}

std::size_t white_space_before_end(std::string_view t) noexcept {
  const auto* end = reinterpret_cast<const unsigned char*>(t.data() + t.size());
  for (std::size_t n = 1; n <= 3 && n <= t.size(); ++n) {
    if (white_space_at(end - n, n) == n) return n;
  }
  return 0;
}

std::optional<TldRule> compiled_lookup(const void*, std::string_view key) {
  return generated::find_rule(key);
}

}  // namespace

RuleLookup RuleLookup::compiled() noexcept { return RuleLookup(nullptr, &compiled_lookup); }

std::string_view trim_white_space(std::string_view text) noexcept {
  while (!text.empty()) {
    const std::size_t n =
        white_space_at(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    if (n == 0) break;
    text.remove_prefix(n);
  }
  while (!text.empty()) {
    const std::size_t n = white_space_before_end(text);
    if (n == 0) break;
    text.remove_suffix(n);
  }
  return text;
}

std::string closed_reason(const TldRule& rule) {
  if (rule.note) return concat({"TLD rule: ", *rule.note});
  std::string_view tail;
  switch (rule.reason) {
    case ClosedReason::BrandTld:
      tail = " is a brand TLD (ICANN Spec 13), not open for registration";
      break;
    case ClosedReason::Infrastructure:
      tail = " is an infrastructure TLD, not open for registration";
      break;
    case ClosedReason::Government:
      tail = " is a government TLD, not open for public registration";
      break;
    case ClosedReason::Retired:
      tail = " is a retired TLD, not open for registration";
      break;
    default:
      tail = " is not open for registration";
      break;
  }
  return concat({"TLD rule: .", rule.tld, tail});
}

std::string restricted_reason(const TldRule& rule) {
  if (rule.note) return concat({"TLD rule: ", *rule.note});
  if (rule.restrictions.empty()) return concat({"TLD rule: .", rule.tld, " requires eligibility"});
  constexpr std::string_view head = "TLD rule: .";
  constexpr std::string_view middle = " requires eligibility (";
  std::size_t n = head.size() + rule.tld.size() + middle.size() + 1;
  for (auto r : rule.restrictions) n += r.size() + 2;
  std::string text;
  text.reserve(n);
  text.append(head).append(rule.tld).append(middle);
  for (std::size_t i = 0; i < rule.restrictions.size(); ++i) {
    if (i > 0) text.append(", ");
    text.append(rule.restrictions[i]);
  }
  text.push_back(')');
  return text;
}

std::string_view registrable_label(std::string_view domain, std::string_view suffix) noexcept {
  if (domain.size() >= suffix.size() && domain.ends_with(suffix) &&
      domain.size() > suffix.size() && domain[domain.size() - suffix.size() - 1] == '.')
    return domain.substr(0, domain.size() - suffix.size() - 1);
  return domain;
}

bool idn_characters_allowed(std::string_view label, std::string_view allowed) noexcept {
  for (std::size_t i = 0; i < label.size();) {
    const std::size_t n = char_bytes(label.data() + i, label.size() - i);
    const bool ldh = n == 1 && is_ldh(static_cast<unsigned char>(label[i]));
    if (!ldh && !contains(allowed, label.substr(i, n))) return false;
    i += n;
  }
  return true;
}

std::optional<char32_t> first_disallowed_idn_char(std::string_view label,
                                                  std::string_view allowed) noexcept {
  for (std::size_t i = 0; i < label.size();) {
    const std::size_t n = char_bytes(label.data() + i, label.size() - i);
    if (static_cast<unsigned char>(label[i]) >= 0x80 && !contains(allowed, label.substr(i, n)))
      return decode(label.data() + i, n);
    i += n;
  }
  return std::nullopt;
}

bool is_banned_label(std::span<const std::string_view> banned, std::string_view label) noexcept {
  for (auto entry : banned) {
    if (entry.size() != label.size()) continue;
    bool equal = true;
    for (std::size_t i = 0; i < label.size() && equal; ++i)
      equal = types::fold_ascii(entry[i]) == types::fold_ascii(label[i]);
    if (equal) return true;
  }
  return false;
}

CheckResult Registry::check(std::string_view domain) const {
  return check(domain, RuleLookup::compiled());
}

namespace {

// The check from the syntax stage on. `typed` is the typed text, `name` the ASCII name.
CheckResult judge(std::string_view typed, std::string_view name, RuleLookup rules) {
  if (auto failure = checker::validate_ascii_domain(name))
    return verdict(CheckStatus::No, std::move(*failure));

  // Public suffix and registrable domain, from one answer of the (deterministic) matcher.
  const std::size_t n = name.size();
  const std::size_t len = psl::public_suffix_length(name.data(), n);
  if (len == 0 || len > n) {
    const std::size_t dot = name.rfind('.');
    const std::string_view last = dot == std::string_view::npos ? name : name.substr(dot + 1);
    return verdict(CheckStatus::Unknown, concat({"No data available for TLD '", last, "'"}));
  }
  const std::string_view suffix = name.substr(n - len);
  if (n < len + 2)
    return verdict(CheckStatus::No, concat({"no registrable label found \xE2\x80\x94 '", suffix,
                                            "' is a TLD, not a domain"}));
  std::size_t root = n - len - 1;  // the '.' in front of the suffix
  while (root > 0 && name[root - 1] != '.') --root;
  if (root != 0) {
    const std::string_view registrable = name.substr(root);
    return verdict(CheckStatus::No,
                   concat({"'", name, "' is a subdomain of '", registrable,
                           "' \xE2\x80\x94 retry with '", registrable, "'"}));
  }

  const std::optional<TldRule> rule = rules(suffix);
  if (!rule)
    return verdict(CheckStatus::Unknown, concat({"No data available for TLD '", suffix, "'"}));

  const std::string_view ascii_label = registrable_label(name, suffix);
  const std::string_view typed_label = typed.substr(0, typed.find('.'));

  // IDN policy.
  const bool idn = rule->charset != Charset::Ascii;
  if (idn) {
    if (!rule->idn_chars.empty() && !idn_characters_allowed(typed_label, rule->idn_chars)) {
      if (auto c = first_disallowed_idn_char(typed_label, rule->idn_chars)) {
        return verdict(CheckStatus::No,
                       concat({"TLD rule: character '", Text::utf8(*c), "' (U+",
                               Text::hex4(static_cast<std::uint32_t>(*c)),
                               ") is not allowed under .", rule->tld,
                               " (allowed IDN characters: ", rule->idn_chars, ")"}));
      }
    }
  } else if (ascii_label.starts_with("xn--") || has_non_ascii(typed_label)) {
    return verdict(CheckStatus::No, concat({"TLD rule: .", rule->tld,
                                            " does not support IDN (charset is ASCII only)"}));
  }

  // Length.
  const std::uint64_t m =
      rule->length_basis == LengthBasis::Ascii ? ascii_label.size() : types::count_chars(typed_label);
  if (m < rule->min_length)
    return verdict(CheckStatus::No,
                   concat({"TLD rule: label too short (min ", Text::decimal(rule->min_length),
                           ", got ", Text::decimal(m), ") under .", rule->tld}));
  if (m > rule->max_length)
    return verdict(CheckStatus::No,
                   concat({"TLD rule: label too long (max ", Text::decimal(rule->max_length),
                           ", got ", Text::decimal(m), ") under .", rule->tld}));

  // Banned labels.
  if (is_banned_label(rule->banned, ascii_label))
    return verdict(CheckStatus::No, concat({"TLD rule: label '", ascii_label, "' is banned under .",
                                            rule->tld}));

  // Outcome. The passed list is built only when it becomes the answer.
  if (rule->registerable == RuleStatus::Yes) {
    CheckResult r{CheckStatus::Yes, {}};
    r.reasons.reserve(idn ? 4 : 3);
    r.reasons.emplace_back("DNS syntax: ok");
    if (idn) r.reasons.emplace_back("TLD rule: IDN characters ok");
    r.reasons.push_back(concat({"TLD rule: label length ok (", Text::decimal(rule->min_length),
                                "-", Text::decimal(rule->max_length), ")"}));
    r.reasons.emplace_back("TLD rule: label not in banned list");
    return r;
  }
  if (rule->registerable == RuleStatus::No) return verdict(CheckStatus::No, closed_reason(*rule));
  return verdict(CheckStatus::Restricted, restricted_reason(*rule));
}

}  // namespace

CheckResult Registry::check(std::string_view domain, RuleLookup rules) const {
  // Normalisation: trim, strip trailing dots (only U+002E), fold A to Z.
  std::string_view text = trim_white_space(domain);
  while (!text.empty() && text.back() == '.') text.remove_suffix(1);
  if (text.empty()) return verdict(CheckStatus::No, "DNS syntax: empty domain");

  if (idna::converts_without_icu(text)) {
    // IDNA answers such text with its own folded bytes, so the typed text and the ASCII name
    // are one folded copy. Over 253 bytes the syntax stage fails on the length alone.
    if (text.size() > checker::kMaxDomainBytes) return judge(text, text, rules);
    const FoldedCopy both(text);
    return judge(both.view(), both.view(), rules);
  }

  const FoldedCopy typed(text);
  // The IDNA answer is folded in place: it is the ASCII name, and no second copy is needed.
  std::string ascii;
  if (!idna::domain_to_ascii_icu(typed.view(), ascii))
    return verdict(CheckStatus::No, "DNS syntax: invalid IDNA input");
  types::fold_ascii_in_place(ascii);
  return judge(typed.view(), ascii, rules);
}

std::optional<TldRule> Registry::tld_info(std::string_view tld) const {
  std::string_view t = trim_white_space(tld);
  while (!t.empty() && t.front() == '.') t.remove_prefix(1);
  // No key is longer than the table can store, so a longer text needs no copy.
  if (t.size() > generated::MAX_KEY_BYTES) return std::nullopt;
  return generated::find_rule(FoldedCopy(t).view());
}

}  // namespace zelvar::registry
