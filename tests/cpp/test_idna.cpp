#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "idna.hpp"
#include "support.hpp"

namespace zelvar::idna {
namespace {

struct Answer {
  bool ok;
  std::string text;
  friend bool operator==(const Answer&, const Answer&) = default;
};

Answer convert(std::string_view s) {
  Answer a{false, {}};
  a.ok = domain_to_ascii(s, a.text);
  if (!a.ok) a.text.clear();
  return a;
}

Answer convert_icu(std::string_view s, std::size_t piece = 1u << 30) {
  Answer a{false, {}};
  a.ok = domain_to_ascii_icu(s, a.text, piece, piece);
  if (!a.ok) a.text.clear();
  return a;
}

std::string fold(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return s;
}

using zelvar::testing::printable;

TEST(Idna, KnownAnswers) {
  struct Row {
    std::string_view in;
    bool ok;
    std::string_view out;
  };
  const Row rows[] = {
      {"example.com", true, "example.com"},
      {"Example.COM", true, "example.com"},
      {"b\xC3\xBC" "cher.com", true, "xn--bcher-kva.com"},
      {"B\xC3\x9C" "CHER.com", true, "xn--bcher-kva.com"},
      {"XN--BCHER-KVA.com", true, "xn--bcher-kva.com"},
      {"\xD1\x80\xD1\x84", true, "xn--p1ai"},
      {"example\xE3\x80\x82" "com", true, "example.com"},  // U+3002 becomes a dot
      {"example.com\xE3\x80\x82", true, "example.com."},
      {"\xEF\xBD\x85xample.com", true, "example.com"},  // full-width e
      {"\xC2\xAD", true, ""},                            // removed entirely
      {"ab--cd.-x-.", true, "ab--cd.-x-."},              // hyphen and empty-label checks are off
      {"a_b.c d", true, "a_b.c d"},                       // no STD3 rules
      {"\xEF\xBF\xBD", false, ""},                        // U+FFFD
      {"xn--abc.com", false, ""},                         // no valid Punycode
      {"xn--.com", false, ""},
      {"\xD7\x90.1a", false, ""},  // a Bidi name whose other label fails the Bidi rule
      {"\xD7\x90.com", true, "xn--4db.com"},
      {"a\xE2\x80\x8D" "b", false, ""},  // ZERO WIDTH JOINER out of context
      {"\xCC\x81" "a", false, ""},       // leading combining mark
      {"\xFF\xFE", false, ""},           // not UTF-8 at all
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(printable(r.in));
    const Answer a = convert(r.in);
    EXPECT_EQ(a.ok, r.ok);
    if (r.ok) {
      EXPECT_EQ(a.text, r.out);
    }
  }
}

TEST(Idna, OutputKeepsNulBytes) {
  const std::string in("a\0b.com", 7);
  EXPECT_EQ(convert(in), (Answer{true, in}));
  EXPECT_EQ(convert_icu(in), (Answer{true, in}));
  const std::string non_ascii("\xC3\xBC\0b.com", 8);
  const Answer a = convert(non_ascii);
  ASSERT_TRUE(a.ok);
  EXPECT_EQ(a.text, std::string("xn--\0b-wka.com", 14));
}

TEST(Idna, FastPathConditionIsPerLabelAndCaseBlind) {
  EXPECT_TRUE(converts_without_icu(""));
  EXPECT_TRUE(converts_without_icu("example.com"));
  EXPECT_TRUE(converts_without_icu("axn--b.com"));  // not at a label's start
  EXPECT_TRUE(converts_without_icu("xn-.com"));
  EXPECT_TRUE(converts_without_icu("xn"));
  EXPECT_FALSE(converts_without_icu("xn--a.com"));
  EXPECT_FALSE(converts_without_icu("a.Xn--b"));
  EXPECT_FALSE(converts_without_icu("a.xN--"));
  EXPECT_FALSE(converts_without_icu(".XN--b"));
  EXPECT_FALSE(converts_without_icu("caf\xC3\xA9.com"));
  EXPECT_FALSE(converts_without_icu("a.com\x80"));
}

// The fast path must give exactly ICU's answer wherever it applies.
TEST(Idna, FastPathAgreesWithIcuOnAsciiNames) {
  std::vector<std::string> corpus = {
      "", ".", "..", "a.", ".a", "com", "EXAMPLE.COM", "-a-.b--c.--", "ab--cd", "a-.-b",
      "xn--bcher-kva.com", "XN--BCHER-KVA.COM", "Xn--bcher-kva.com", "xn--abc.com", "xn--",
      "xn--.com", "xn---", "xn--a", "xn--4db.1a", "1a.xn--4db", "xn--p1ai.xn--p1ai",
      "a.xn--zz", "xn--bcher-kva..", "shop.xn--bcher-kva.com", "a-xn--b.com", "ab--xn--cd",
      std::string(64, 'a') + ".com", std::string(300, 'a'), std::string(100, '.'),
  };
  for (int b = 0; b < 0x80; ++b) {
    const char c = static_cast<char>(b);
    corpus.push_back(std::string(1, c));
    corpus.push_back(std::string("a") + c + "b.com");
    corpus.push_back(std::string(1, c) + "x.com");
    corpus.push_back(std::string("ex.") + c);
    corpus.push_back(std::string("xn--") + c);
  }
  std::mt19937 rng(12345);
  static constexpr std::string_view alphabet = "..--xnXN09az_ AZ\x01\x7F";
  for (int i = 0; i < 20000; ++i) {
    std::string s;
    const std::size_t len = rng() % 24;
    for (std::size_t k = 0; k < len; ++k) s.push_back(alphabet[rng() % alphabet.size()]);
    corpus.push_back(std::move(s));
  }
  int fast = 0;
  int icu_only = 0;
  for (const auto& s : corpus) {
    SCOPED_TRACE(printable(s));
    const Answer icu = convert_icu(s);
    EXPECT_EQ(convert(s), icu);
    if (converts_without_icu(s)) {
      ++fast;
      EXPECT_EQ(icu, (Answer{true, fold(s)}));
    } else {
      ++icu_only;
    }
  }
  // Both roads must have been taken, or the comparison says nothing.
  EXPECT_GT(fast, 1000);
  EXPECT_GT(icu_only, 100);
}

// Conversion in pieces must answer what one conversion of the whole text answers, whatever
// the cuts, in particular for the Bidi test, which spans the whole name.
TEST(Idna, PiecesAgreeWithOneConversion) {
  const std::string alef = "\xD7\x90";           // Hebrew, right to left
  const std::string arabic = "\xD8\xA7\xD8\xA8";  // Arabic letters
  const std::string u = "\xC3\xBC";
  std::vector<std::string> corpus = {
      alef + ".com",
      alef + ".1a",
      "1a." + alef,
      "1a.b.c.d.e.f.g.h." + alef,
      alef + ".a.b.c.d.e.f.g.1h",
      alef + ".a.b.c.d.e.f.g.h",
      "a.b.c.d." + alef + ".e.f.g",
      "xn--4db.a.b.c.d.1a",
      "1a.b.c.d.xn--4db",
      arabic + "1.x.y." + arabic,
      arabic + ".a1.b.c." + alef,
      "a." + u + ".b." + u + ".c." + u + ".d",
      u + ".." + u + "..." + alef + "..",
      "a.\xCC\x81" "b.c",                      // combining mark at a label's start
      "a\xE3\x80\x82" "b.c\xE3\x80\x82" "d.e",  // ideographic full stops
      "a.b\xE2\x80\x8D.c.d",                   // joiner out of context
      "a\xE2\x80\x8C.b.c",
      "a.b.c.d.e\xEF\xBF\xBD",
      "x.y.z." + u,
      u + "." + std::string(70, 'a') + ".b.c",
      "\xE2\x92\x88" "a.b.c",  // U+2488 maps to "1."
      "a.b.c.d.",
      // Characters that map to a '.' or to text holding one, and others the mapping changes.
      "\xC3\xBC\xEF\xBC\x8E" "b\xEF\xBD\xA1" "c\xE3\x80\x82" "1a\xEF\xBC\x8E" + alef,
      "a\xE2\x80\xA4" "b\xEF\xB9\x92" "c\xE2\x80\xA5" "d.e\xF0\x9F\x84\x81" "f." + alef,
      "\xE2\x92\x88" + alef + ".x",
      "Stra\xC3\x9F" "e.\xCE\xA3\xCE\xB5\xCF\x82.b.c",
      "\xEF\xB7\xBA.a.b.c",  // U+FDFA expands to 18 characters
      "\xE1\x84\x80\xE1\x85\xA1.b.c.d",  // conjoining jamo compose
      "XN--BCHER-KVA.EXAMPLE.COM." + u,
  };
  std::mt19937 rng(777);
  const std::vector<std::string> atoms = {
      "a", "1", "-", ".", ".", u, alef, arabic, "\xCC\x81", "\xE2\x80\x8D", "xn--", "X",
      "\xE3\x80\x82", "\xEF\xBC\x8E", "\xE2\x92\x88", "\xC2\xAD", "4db", "\xD9\xA1"};
  for (int i = 0; i < 3000; ++i) {
    std::string s;
    const std::size_t n = 1 + rng() % 12;
    for (std::size_t k = 0; k < n; ++k) s += atoms[rng() % atoms.size()];
    corpus.push_back(std::move(s));
  }
  int refused = 0;
  int accepted = 0;
  for (const auto& s : corpus) {
    SCOPED_TRACE(printable(s));
    const Answer whole = convert_icu(s);
    whole.ok ? ++accepted : ++refused;
    for (std::size_t piece : {1, 2, 3, 5, 8}) EXPECT_EQ(convert_icu(s, piece), whole) << piece;
  }
  EXPECT_GT(refused, 100);
  EXPECT_GT(accepted, 100);
}

std::string utf8(std::initializer_list<char32_t> cps) {
  std::string s;
  for (const char32_t c : cps) {
    if (c < 0x80) {
      s.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      s.push_back(static_cast<char>(0xC0 | c >> 6));
      s.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      s.push_back(static_cast<char>(0xE0 | c >> 12));
      s.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
      s.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      s.push_back(static_cast<char>(0xF0 | c >> 18));
      s.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
      s.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
      s.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return s;
}

// The long road puts combining marks into canonical order before ICU normalises the text
// (ICU's own ordering is quadratic). The answer must stay that of one conversion: marks of
// every order and class, characters whose decompositions hold marks (some of class 0, some
// starting with a mark, some with a starter after a mark), Hangul, characters that the
// mapping removes between marks, and compositions that depend on the order.
TEST(Idna, MarksInAnyOrderAgreeWithOneConversion) {
  std::vector<std::string> corpus = {
      utf8({'a', 0x301, 0x316}) + ".com",
      utf8({'a', 0x316, 0x301}) + ".com",
      utf8({'a', 0x301, 0xAD, 0x316}) + ".com",  // removed between two marks
      utf8({'a', 0x301, 0x200B, 0x316, 0x327}) + ".com",
      utf8({0x1E9B, 0x323}) + ".com",  // ẛ maps to ṡ, which holds a mark of class 230
      utf8({0x1E9B, 0x323, 0x307}) + ".com",
      utf8({'s', 0x307, 0x323}) + ".com",
      utf8({0x0F40, 0x0F73, 0x0F71}) + ".com",  // class 0, decomposes into marks
      utf8({0x0F40, 0x0F75, 0x0F72, 0x0F80}) + ".com",
      utf8({0x0F40, 0x0F81, 0x0F74, 0x0F71, 0x0F73}) + ".com",
      utf8({'e', 0x344, 0x323}) + ".com",  // a mark that decomposes into two
      utf8({'e', 0x343, 0x340, 0x341, 0x316}) + ".com",
      utf8({0x1F80, 0x316, 0x301}) + ".com",  // a starter after a mark in the decomposition
      utf8({'a', 0x345, 0x316, 0x301}) + ".com",  // U+0345 maps to a letter
      utf8({0x1100, 0x1161, 0x11A8}) + ".com",
      utf8({0xAC00, 0x11A8, 0x301, 0x316}) + ".com",
      utf8({0x1100, 0x301, 0x1161}) + ".com",
      utf8({0x30AB, 0xFF9E, 0x316}) + ".com",  // halfwidth voiced mark, class 8 once mapped
      utf8({0x30AB, 0x3099, 0x316, 0x3099}) + ".com",
      utf8({'u', 0x308, 0x304, 0x323}) + ".com",
      utf8({0x1D5, 0x323}) + ".com",
      utf8({0xC5, 0x316, 0x30A}) + ".com",
      utf8({0x212B, 0x327}) + ".com",
      utf8({0x1D15E, 0x1D16D, 0x1D165}) + ".com",
      utf8({0x0CC6, 0x0CD5, 0x0CC2}) + ".com",
      utf8({0x0DD9, 0x0DCF, 0x0DCA}) + ".com",
      utf8({'a', 0x300, 0x301, 0x302, 0x316, 0x317, 0x318, 0x5B0, 0x5B1, 0x334}) + ".com",
      utf8({'a', 0x301, 0x316}) + "." + utf8({0x5D0, 0x5B0, 0x591}) + ".1a",
      utf8({'a', 0x200C, 0x94D, 0x301}) + ".com",  // a joiner whose context a virama makes
      utf8({'a', 0x94D, 0x301, 0x200C, 'b'}) + ".com",
      utf8({0x301, 'a', 0x316}) + ".com",  // a label that starts with a mark
      utf8({'a', 0x301, '.', 0x316, 'b'}),
  };
  const std::vector<std::string> starters = {
      "a", "e", "s", "u", "A", "1", "-", ".", ".", utf8({0x1E9B}), utf8({0x0F40}),
      utf8({0x1100}), utf8({0x1161}), utf8({0x11A8}), utf8({0xAC00}), utf8({0xAC01}),
      utf8({0x1F80}), utf8({0x0CC6}), utf8({0x0CD5}), utf8({0x0DD9}), utf8({0x0DCF}),
      utf8({0x5D0}), utf8({0x627}), utf8({0x30AB}), utf8({0xC5}), utf8({0x1D5}), utf8({0x958}),
      utf8({0x2ADC}), utf8({0x1D15E}), utf8({0x1D160})};
  const std::vector<std::string> marks = {
      utf8({0x300}), utf8({0x301}), utf8({0x302}), utf8({0x307}), utf8({0x308}),
      utf8({0x30A}), utf8({0x313}), utf8({0x315}), utf8({0x316}), utf8({0x31B}),
      utf8({0x323}), utf8({0x327}), utf8({0x334}), utf8({0x338}), utf8({0x35C}),
      utf8({0x35D}), utf8({0x345}), utf8({0x591}), utf8({0x5B0}), utf8({0x93C}),
      utf8({0x94D}), utf8({0xE38}), utf8({0xE48}), utf8({0xF71}), utf8({0xF72}),
      utf8({0xF74}), utf8({0xF80}), utf8({0x1DCE}), utf8({0x302A}), utf8({0x3099}),
      utf8({0x1D165}), utf8({0x1D16D}), utf8({0x340}), utf8({0x341}), utf8({0x343}),
      utf8({0x344}), utf8({0xF73}), utf8({0xF75}), utf8({0xF81}), utf8({0xFF9E}),
      utf8({0xFF9F}), utf8({0xAD}), utf8({0x200B}), utf8({0x200C}), utf8({0x200D}),
      utf8({0x1161}), utf8({0x11A8}), utf8({0x0CD5}), utf8({0x0DCF})};
  std::mt19937 rng(2024);
  for (int i = 0; i < 4000; ++i) {
    std::string s = starters[rng() % 5];  // mostly a letter first, so that many are valid
    for (std::size_t cluster = 1 + rng() % 3; cluster > 0; --cluster) {
      for (std::size_t k = rng() % 12; k > 0; --k) s += marks[rng() % marks.size()];
      if (cluster > 1) s += starters[rng() % starters.size()];
    }
    corpus.push_back(std::move(s) + ".com");
  }

  int accepted = 0;
  int refused = 0;
  for (const auto& s : corpus) {
    SCOPED_TRACE(printable(s));
    const Answer whole = convert_icu(s);
    whole.ok ? ++accepted : ++refused;
    for (std::size_t piece : {1, 4, 16}) EXPECT_EQ(convert_icu(s, piece), whole) << piece;
  }
  EXPECT_GT(accepted, 1000);
  EXPECT_GT(refused, 500);
}

TEST(Idna, LongTextsConvert) {
  // Many labels that each change length: one ICU call over the whole would take minutes.
  std::string many;
  for (int i = 0; i < 3'000'000; ++i) many += "\xC3\xBC.";  // 12 MB
  Answer a = convert(many);
  ASSERT_TRUE(a.ok);
  EXPECT_GT(a.text.size(), 253u);  // too long for a name: judged, not converted

  // Up to 253 characters after mapping the answer is the ASCII form; past that the text is
  // only judged. Soft hyphens, which the mapping removes, make the texts long enough for the
  // road in pieces.
  std::string pad;
  for (int i = 0; i < 600; ++i) pad += "\xC2\xAD";
  const std::string a63(63, 'a');
  const std::string name = a63 + "." + a63 + "." + a63 + "." + std::string(61, 'a');
  a = convert(pad + name);
  ASSERT_TRUE(a.ok);
  EXPECT_EQ(a.text, name);
  a = convert(pad + name + "b");
  ASSERT_TRUE(a.ok);
  EXPECT_GT(a.text.size(), 253u);
  EXPECT_FALSE(convert(pad + name + "\xEF\xBF\xBD").ok);  // U+FFFD is refused either way
  EXPECT_FALSE(convert(pad + name + ".a\xE2\x80\x8D").ok);  // a joiner out of context

  // A Bidi label at the very end still fails a digit-led label at the very start.
  std::string bidi = "1a.";
  for (int i = 0; i < 200'000; ++i) bidi += "ab.";
  EXPECT_TRUE(convert(bidi + "c").ok);
  EXPECT_FALSE(convert(bidi + "\xD7\x90").ok);

  // Text that IDNA removes converts to nothing, however long it is.
  std::string shy;
  for (int i = 0; i < 5'000'000; ++i) shy += "\xC2\xAD";
  a = convert(shy);
  ASSERT_TRUE(a.ok);
  EXPECT_EQ(a.text, "");

  // Ten megabytes of ASCII stay on the fast path.
  const std::string ascii(10'000'000, 'A');
  a = convert(ascii);
  ASSERT_TRUE(a.ok);
  EXPECT_EQ(a.text, std::string(10'000'000, 'a'));
}

}  // namespace
}  // namespace zelvar::idna
