#include "types.hpp"

namespace zelvar::types {

std::string_view word(RuleStatus v) noexcept {
  switch (v) {
    case RuleStatus::Yes:
      return "yes";
    case RuleStatus::No:
      return "no";
    case RuleStatus::Restricted:
      break;
  }
  return "restricted";
}

std::string_view word(ClosedReason v) noexcept {
  switch (v) {
    case ClosedReason::BrandTld:
      return "brand_tld";
    case ClosedReason::Infrastructure:
      return "infrastructure";
    case ClosedReason::Government:
      return "government";
    case ClosedReason::Retired:
      return "retired";
    default:
      return {};
  }
}

std::string_view word(LengthBasis v) noexcept {
  return v == LengthBasis::Ascii ? "ascii" : "unicode";
}

std::string_view word(Charset v) noexcept { return v == Charset::Ascii ? "ascii" : "idn"; }

std::string_view word(CheckStatus v) noexcept {
  static constexpr std::string_view words[] = {"yes", "no", "restricted", "unknown"};
  const auto i = static_cast<std::uint8_t>(v);
  return i < 4 ? words[i] : words[3];
}

namespace {
std::vector<std::string> copy_texts(std::span<const std::string_view> texts) {
  std::vector<std::string> out;
  out.reserve(texts.size());
  for (auto t : texts) out.emplace_back(t);
  return out;
}
}  // namespace

TldRuleSummary TldRuleSummary::from(const TldRule& rule) {
  TldRuleSummary s;
  s.tld = std::string(rule.tld);
  s.registerable = std::string(word(rule.registerable));
  if (has_reason(rule.reason)) s.reason = std::string(word(rule.reason));
  if (rule.note) s.note = std::string(*rule.note);
  s.restrictions = copy_texts(rule.restrictions);
  s.min_length = rule.min_length;
  s.max_length = rule.max_length;
  s.length_basis = std::string(word(rule.length_basis));
  s.banned = copy_texts(rule.banned);
  s.charset = std::string(word(rule.charset));
  s.idn_chars = std::string(rule.idn_chars);
  s.sources.reserve(rule.sources.size());
  for (const auto& src : rule.sources) s.sources.emplace_back(src.field, src.url);
  return s;
}

}  // namespace zelvar::types
