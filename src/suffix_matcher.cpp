#include "suffix_matcher.hpp"

#include <string_view>

#include "generated.hpp"

namespace zelvar::psl {

namespace {

// Start of the label that ends at `end` (exclusive): one past the nearest '.' before it.
std::size_t label_start(const char* name, std::size_t end) noexcept {
  while (end > 0 && name[end - 1] != '.') --end;
  return end;
}

}  // namespace

std::size_t public_suffix_length(const char* name, std::size_t len) noexcept {
  if (len == 0) return 0;
  using generated::PSL_RULES;

  // Walk the tails of the name from the right, one label at a time. Every proper tail of a
  // rule is an entry, so the first tail that is no entry ends the walk.
  std::size_t start = label_start(name, len);  // start of the current tail
  std::size_t prev = len;                      // start of the tail one label shorter
  std::size_t best = len - start;              // the implicit "*" rule: the rightmost label
  bool have_exception = false;
  std::size_t exception = 0;
  for (;;) {
    const auto e = PSL_RULES.get_entry(std::string_view(name + start, len - start));
    if (!e) break;
    const bool has_next = start > 0;  // then name[start - 1] is the '.' in front of the tail
    const std::size_t next = has_next ? label_start(name, start - 1) : 0;
    if (e->kinds & generated::PSL_EXCEPTION) {
      // An exception rule prevails; its suffix drops the rule's leftmost label. Of two
      // exceptions the longer wins, like any other rule.
      have_exception = true;
      exception = len - prev;
    }
    if ((e->kinds & generated::PSL_NORMAL) && len - start > best) best = len - start;
    // "*.tail" matches exactly one more label, whether or not that longer tail is an entry.
    if ((e->kinds & generated::PSL_WILDCARD) && has_next && len - next > best) best = len - next;
    if (!has_next) break;
    prev = start;
    start = next;
  }
  return have_exception ? exception : best;
}

}  // namespace zelvar::psl
