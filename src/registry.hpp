// The registrability check and the suffix lookup.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "types.hpp"

namespace zelvar::registry {

// A non-owning reference to a rule lookup: the compiled table by default, a test table in
// tests. The referenced callable must outlive the call that uses it; it may answer with a
// rule pointer (null: no rule) or an optional rule.
class RuleLookup {
 public:
  using Fn = std::optional<types::TldRule> (*)(const void* ctx, std::string_view key);

  constexpr RuleLookup(const void* ctx, Fn fn) noexcept : ctx_(ctx), fn_(fn) {}

  template <class F>
    requires(!std::is_same_v<std::remove_cvref_t<F>, RuleLookup>)
  RuleLookup(const F& f) noexcept  // NOLINT: implicit by design
      : ctx_(&f), fn_([](const void* c, std::string_view k) -> std::optional<types::TldRule> {
          auto&& found = (*static_cast<const F*>(c))(k);
          if constexpr (std::is_pointer_v<std::remove_cvref_t<decltype(found)>>) {
            if (found == nullptr) return std::nullopt;
            return *found;
          } else {
            return found;
          }
        }) {}

  std::optional<types::TldRule> operator()(std::string_view key) const { return fn_(ctx_, key); }

  // Looks keys up in the compiled TLD_RULES.
  static RuleLookup compiled() noexcept;

 private:
  const void* ctx_;
  Fn fn_;
};

class Registry {
 public:
  types::CheckResult check(std::string_view domain) const;
  types::CheckResult check(std::string_view domain, RuleLookup rules) const;
  std::optional<types::TldRule> tld_info(std::string_view tld) const;
};

// The rule tests and reason builders of the check.
std::string closed_reason(const types::TldRule& rule);
std::string restricted_reason(const types::TldRule& rule);
std::string_view registrable_label(std::string_view domain, std::string_view suffix) noexcept;
bool idn_characters_allowed(std::string_view label, std::string_view allowed) noexcept;
std::optional<char32_t> first_disallowed_idn_char(std::string_view label,
                                                  std::string_view allowed) noexcept;
bool is_banned_label(std::span<const std::string_view> banned, std::string_view label) noexcept;

// Removes Unicode White_Space from both ends of valid UTF-8 text.
std::string_view trim_white_space(std::string_view text) noexcept;

}  // namespace zelvar::registry
