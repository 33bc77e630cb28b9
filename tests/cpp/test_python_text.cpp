// The Python layer's text forms and source map, which need no interpreter. The shipped rule
// table never puts most of these characters into a reason, so only here can they be reached.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "python/records.hpp"
#include "python/text_form.hpp"

namespace zelvar::python {
namespace {

std::string quoted(std::string_view text) {
  std::string out;
  append_quoted(out, text);
  return out;
}

TEST(QuotedText, EscapesByTheDebugRule) {
  struct Case {
    const char* text;
    const char* written;
  };
  const Case cases[] = {
      {"DNS syntax: ok (1-63) ~`!@#$%^&*", "\"DNS syntax: ok (1-63) ~`!@#$%^&*\""},
      {"'a' \xE2\x80\x94 'b'", "\"'a' \xE2\x80\x94 'b'\""},  // quotes and the em dash stay
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"\t\n\r", "\"\\t\\n\\r\""},
      {"\x1B\x7F\x01", "\"\\u{1b}\\u{7f}\\u{1}\""},
      // Printable non-ASCII stays: U+00E9, U+0627, U+4E2D, U+1F600, U+FFFD.
      {"\xC3\xA9\xD8\xA7\xE4\xB8\xAD\xF0\x9F\x98\x80\xEF\xBF\xBD",
       "\"\xC3\xA9\xD8\xA7\xE4\xB8\xAD\xF0\x9F\x98\x80\xEF\xBF\xBD\""},
      // A decomposed e with acute: the mark is Grapheme_Extend.
      {"e\xCC\x81", "\"e\\u{301}\""},
      // U+0085 Cc, U+00A0 Zs, U+00AD Cf, U+0300 Mn, U+0378 Cn.
      {"\xC2\x85\xC2\xA0\xC2\xAD\xCC\x80\xCD\xB8", "\"\\u{85}\\u{a0}\\u{ad}\\u{300}\\u{378}\""},
      // U+200B Cf, U+200C Grapheme_Extend, U+2028 Zl, U+2029 Zp, U+3000 Zs.
      {"\xE2\x80\x8B\xE2\x80\x8C\xE2\x80\xA8\xE2\x80\xA9\xE3\x80\x80",
       "\"\\u{200b}\\u{200c}\\u{2028}\\u{2029}\\u{3000}\""},
      // U+E000 Co, U+FE0F Grapheme_Extend, U+FEFF Cf, U+E0001 Cf.
      {"\xEE\x80\x80\xEF\xB8\x8F\xEF\xBB\xBF\xF3\xA0\x80\x81",
       "\"\\u{e000}\\u{fe0f}\\u{feff}\\u{e0001}\""},
      {"", "\"\""},
  };
  for (const auto& c : cases) EXPECT_EQ(quoted(c.text), c.written) << c.text;
}

TEST(QuotedText, EmbeddedNulAndMalformedBytes) {
  EXPECT_EQ(quoted(std::string_view("a\0b", 3)), "\"a\\0b\"");
  // Never produced by the checker; shown as the replacement character, not passed through.
  EXPECT_EQ(quoted("a\xFF" "b"), "\"a\xEF\xBF\xBD" "b\"");
}

TEST(CheckResultText, ListsTheReasonsAndKeepsTheStatus) {
  EXPECT_EQ(check_result_text("no", std::vector<std::string>{"DNS syntax: empty domain"}),
            "CheckResult(status='no', reasons=[\"DNS syntax: empty domain\"])");
  EXPECT_EQ(check_result_text("yes", std::vector<std::string>{"a", "b\tc", "d"}),
            "CheckResult(status='yes', reasons=[\"a\", \"b\\tc\", \"d\"])");
  EXPECT_EQ(check_result_text("no", std::vector<std::string>{}),
            "CheckResult(status='no', reasons=[])");
  EXPECT_EQ(check_result_text("it's", std::vector<std::string>{}),
            "CheckResult(status='it's', reasons=[])");
}

TEST(TldInfoText, InsertsTheTextsAsStored) {
  EXPECT_EQ(tld_info_text("co.uk", "yes"), "TldInfo(tld='co.uk', registerable='yes')");
  EXPECT_EQ(tld_info_text("a'b\\c", "no"), "TldInfo(tld='a'b\\c', registerable='no')");
  EXPECT_EQ(tld_info_text("\xD1\x80\xD1\x84", "yes"),
            "TldInfo(tld='\xD1\x80\xD1\x84', registerable='yes')");
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(SourceMap, SortsByFieldNameAndKeepsTheLastOfEachName) {
  EXPECT_EQ(make_source_map({}), Pairs{});
  EXPECT_EQ(make_source_map({{"registerable", "r"}, {"note", "n"}, {"banned", "b"}}),
            (Pairs{{"banned", "b"}, {"note", "n"}, {"registerable", "r"}}));
  EXPECT_EQ(make_source_map({{"note", "first"}, {"banned", "b"}, {"note", "second"},
                             {"note", "third"}, {"banned", "c"}}),
            (Pairs{{"banned", "c"}, {"note", "third"}}));
  // Byte order: a prefix first, a non-ASCII byte after every ASCII letter.
  EXPECT_EQ(make_source_map({{"\xC3\xA9", "e"}, {"notes", "2"}, {"note", "1"}, {"Z", "z"}}),
            (Pairs{{"Z", "z"}, {"note", "1"}, {"notes", "2"}, {"\xC3\xA9", "e"}}));
}

}  // namespace
}  // namespace zelvar::python
