#include <gtest/gtest.h>

#include "types.hpp"

namespace zelvar::types {
namespace {

TEST(Words, CheckStatusSharesRuleStatusWords) {
  EXPECT_EQ(word(CheckStatus::No), word(RuleStatus::No));
  EXPECT_EQ(word(CheckStatus::Restricted), word(RuleStatus::Restricted));
  EXPECT_EQ(word(CheckStatus::Unknown), "unknown");
}

}  // namespace
}  // namespace zelvar::types
