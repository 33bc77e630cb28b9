#include "idna.hpp"

#include <unicode/uidna.h>
#include <unicode/unorm2.h>
#include <unicode/utf16.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "checker.hpp"
#include "types.hpp"

namespace zelvar::idna {

namespace {

// The error bits of the checks that this configuration turns off (hyphen placement, DNS
// lengths, empty labels); every other bit is a refusal.
constexpr std::uint32_t kIgnoredErrors =
    UIDNA_ERROR_EMPTY_LABEL | UIDNA_ERROR_LABEL_TOO_LONG | UIDNA_ERROR_DOMAIN_NAME_TOO_LONG |
    UIDNA_ERROR_LEADING_HYPHEN | UIDNA_ERROR_TRAILING_HYPHEN | UIDNA_ERROR_HYPHEN_3_4;

// One process-wide instance, made on first use. ICU allows concurrent use of one instance; it
// is never closed, so no thread can see it released during exit. Nontransitional ToUnicode
// changes nothing in ToASCII; it makes ToUnicode judge a text exactly as ToASCII does (see
// Mode::Judge).
const UIDNA* instance() noexcept {
  static const UIDNA* const idna = []() -> const UIDNA* {
    UErrorCode err = U_ZERO_ERROR;
    UIDNA* p = uidna_openUTS46(UIDNA_NONTRANSITIONAL_TO_ASCII | UIDNA_NONTRANSITIONAL_TO_UNICODE |
                                   UIDNA_CHECK_BIDI | UIDNA_CHECK_CONTEXTJ,
                               &err);
    if (U_FAILURE(err)) {
      if (p != nullptr) uidna_close(p);
      return nullptr;
    }
    return p;
  }();
  return idna;
}

using IcuConvert = std::int32_t (*)(const UIDNA*, const char*, std::int32_t, char*, std::int32_t,
                                    UIDNAInfo*, UErrorCode*);

// Runs one ICU conversion of `in` and appends the answer to `out`. `err` is ICU's status.
bool convert_with(IcuConvert convert, const UIDNA* idna, std::string_view in, std::string& out,
                  std::uint32_t& errors, UErrorCode& err);

// What a conversion is for.
// - Convert: the ASCII form.
// - Judge: only whether UTS #46 accepts the text, for a text whose ASCII form is known to be
//   longer than any name may be. ToUnicode runs the same mapping and tests as ToASCII (both
//   nontransitional here) but encodes no Punycode, which costs ICU time quadratic in a label's
//   length. The answer is then the Unicode form; only its length matters to the caller, and it
//   is over the limit too, since each character of a label yields at least one ASCII byte.
enum class Mode { Convert, Judge };

// Converts `in` by one ICU call and appends the answer to `out`. False when ICU itself fails
// (the text cannot be handled at all); otherwise `errors` holds ICU's error bits.
//
// ICU's Punycode encoder refuses a label of more than 1,000 code points outright, a limit of
// its own that UTS #46 does not have. Such a label's ASCII form is over 1,000 bytes, so the
// text is judged instead.
bool convert_once(const UIDNA* idna, std::string_view in, std::string& out,
                  std::uint32_t& errors, Mode mode) {
  UErrorCode err = U_ZERO_ERROR;
  if (mode == Mode::Convert) {
    if (convert_with(uidna_nameToASCII_UTF8, idna, in, out, errors, err)) return true;
    if (err != U_INPUT_TOO_LONG_ERROR) return false;
    err = U_ZERO_ERROR;
  }
  return convert_with(uidna_nameToUnicodeUTF8, idna, in, out, errors, err);
}

bool convert_with(IcuConvert convert, const UIDNA* idna, std::string_view in, std::string& out,
                  std::uint32_t& errors, UErrorCode& err) {
  if (in.size() > static_cast<std::size_t>(INT32_MAX)) return false;
  static constexpr char kEmpty[] = "";
  const char* src = in.empty() ? kEmpty : in.data();
  const std::size_t base = out.size();
  // Punycode can make a label longer than its UTF-8 form; ICU reports the size it needs.
  std::size_t cap = in.size() + in.size() / 2 + 16;
  if (cap > static_cast<std::size_t>(INT32_MAX)) cap = INT32_MAX;
  for (int attempt = 0; attempt < 4; ++attempt) {
    out.resize(base + cap);
    err = U_ZERO_ERROR;
    UIDNAInfo info = UIDNA_INFO_INITIALIZER;
    const std::int32_t n = convert(idna, src, static_cast<std::int32_t>(in.size()),
                                   out.data() + base, static_cast<std::int32_t>(cap), &info, &err);
    if (err == U_BUFFER_OVERFLOW_ERROR && n > 0 && static_cast<std::size_t>(n) > cap) {
      cap = static_cast<std::size_t>(n);
      continue;
    }
    if (U_FAILURE(err) || n < 0 || static_cast<std::size_t>(n) > cap) break;
    out.resize(base + static_cast<std::size_t>(n));
    errors = info.errors;
    return true;
  }
  out.resize(base);
  return false;
}

// A label that makes any name a Bidi domain name and passes the Bidi rule (HEBREW LETTER
// ALEF), and one that is no Bidi label but fails the rule (it starts with a digit).
constexpr std::string_view kRtlProbe = "\xD7\x90";
constexpr std::string_view kFailingProbe = "1a";

bool refused(std::uint32_t errors) noexcept { return (errors & ~kIgnoredErrors) != 0; }

// One code point of a decomposed text, with its canonical combining class.
struct Decomposed {
  UChar32 c;
  std::uint8_t ccc;
};

// Appends the full decomposition of `c` by the data of `norm`: `c` itself when it has none,
// nothing when the mapping removes it. False when ICU fails.
bool append_decomposition(const UNormalizer2* norm, UChar32 c, std::vector<Decomposed>& out) {
  UChar buf[32];  // the longest decomposition is 18 units
  std::vector<UChar> big;
  UChar* d = buf;
  UErrorCode err = U_ZERO_ERROR;
  std::int32_t n = unorm2_getDecomposition(norm, c, buf, 32, &err);
  if (err == U_BUFFER_OVERFLOW_ERROR && n > 0) {
    big.resize(static_cast<std::size_t>(n));
    d = big.data();
    err = U_ZERO_ERROR;
    n = unorm2_getDecomposition(norm, c, d, n, &err);
  }
  if (U_FAILURE(err)) return false;
  if (n < 0) {
    out.push_back({c, unorm2_getCombiningClass(norm, c)});
    return true;
  }
  for (std::int32_t i = 0; i < n;) {
    UChar32 x;
    U16_NEXT(d, i, n, x);
    out.push_back({x, unorm2_getCombiningClass(norm, x)});
  }
  return true;
}

// What order_marks needs of a character's full decomposition: the classes of its first and
// last code points, whether it is empty, and whether its runs of nonzero class are in order.
struct Shape {
  std::uint8_t lead = 0;
  std::uint8_t trail = 0;
  bool empty = false;
  bool ordered = true;
};

bool shape_of(const UNormalizer2* norm, UChar32 c, std::vector<Decomposed>& scratch,
              Shape& shape) {
  scratch.clear();
  if (!append_decomposition(norm, c, scratch)) return false;
  shape = Shape{};
  if (scratch.empty()) {
    shape.empty = true;
    return true;
  }
  shape.lead = scratch.front().ccc;
  shape.trail = scratch.back().ccc;
  for (std::size_t k = 1; k < scratch.size(); ++k)
    if (scratch[k].ccc != 0 && scratch[k].ccc < scratch[k - 1].ccc) shape.ordered = false;
  return true;
}

// The shapes of the BMP, as lead | trail << 8, made once: a look-up in ICU for each character
// would double the cost of the mapping. kAskIcu marks what the table does not hold (empty and
// unordered decompositions, which are rare). Null when ICU fails; ICU then answers each time.
constexpr std::uint16_t kAskIcu = 0xFFFF;

const std::uint16_t* bmp_shapes(const UNormalizer2* norm) {
  // Never released, like the ICU instance.
  static const std::uint16_t* const table = [norm]() -> const std::uint16_t* {
    auto* t = new (std::nothrow) std::uint16_t[0x10000];
    if (t == nullptr) return nullptr;
    std::vector<Decomposed> scratch;
    for (UChar32 c = 0; c <= 0xFFFF; ++c) {
      t[c] = kAskIcu;
      if (U_IS_SURROGATE(c)) continue;
      Shape shape;
      if (!shape_of(norm, c, scratch, shape)) {
        delete[] t;
        return nullptr;
      }
      if (!shape.empty && shape.ordered)
        t[c] = static_cast<std::uint16_t>(shape.lead | shape.trail << 8);
    }
    return t;
  }();
  return table;
}

// ICU's normaliser puts each combining mark into canonical order by insertion, so a run of k
// marks out of order costs it about k * k steps, and a single label can hold millions of them.
// This puts such runs in order beforehand. `reordered` tells whether `out` holds the text to
// normalise in place of `s` (which needs nothing when all its runs are in order). False only
// when ICU fails.
//
// A normalisation depends only on the text's full decomposition put into canonical order:
// each character replaced by its full decomposition, each run of code points of nonzero
// combining class stably sorted by class. Texts with the same ordered decomposition normalise
// alike. The decompositions here are the normaliser's own, so they hold the UTS #46 mapping (a
// character that it removes decomposes to nothing, and the marks on either side of it meet).
// No run crosses a cut between characters where the decomposition has a starter on one side
// or nothing before, and replacing the chunk between two such cuts by its own ordered
// decomposition keeps them such cuts. So each chunk whose runs are out of order is replaced
// by its ordered decomposition, and every other chunk stays as it is.
bool order_marks(const UNormalizer2* norm, const UChar* s, std::int32_t n,
                 std::vector<UChar>& out, bool& reordered) {
  out.clear();
  reordered = false;
  const std::uint16_t* const bmp = bmp_shapes(norm);
  std::vector<Decomposed> chunk;
  std::vector<Decomposed> scratch;
  std::int32_t chunk_start = 0;
  std::int32_t copied = 0;  // s[0, copied) is in `out` once `reordered`
  bool disordered = false;  // some run of the chunk is out of order
  std::uint8_t last = 0;    // the class of the last code point decomposed so far

  const auto close = [&](std::int32_t end) -> bool {
    if (disordered) {
      chunk.clear();
      for (std::int32_t i = chunk_start; i < end;) {
        UChar32 c;
        U16_NEXT(s, i, end, c);
        if (!append_decomposition(norm, c, chunk)) return false;
      }
      for (auto run = chunk.begin(); run != chunk.end();) {
        if (run->ccc == 0) {
          ++run;
          continue;
        }
        const auto run_end =
            std::find_if(run, chunk.end(), [](const Decomposed& d) { return d.ccc == 0; });
        std::stable_sort(run, run_end, [](const Decomposed& x, const Decomposed& y) {
          return x.ccc < y.ccc;
        });
        run = run_end;
      }
      if (!reordered) out.reserve(static_cast<std::size_t>(n) + chunk.size());
      out.insert(out.end(), s + copied, s + chunk_start);
      for (const Decomposed& d : chunk) {
        if (U_IS_BMP(d.c)) {
          out.push_back(static_cast<UChar>(d.c));
        } else {
          out.push_back(U16_LEAD(d.c));
          out.push_back(U16_TRAIL(d.c));
        }
      }
      copied = end;
      reordered = true;
      disordered = false;
    }
    chunk_start = end;
    return true;
  };

  for (std::int32_t i = 0; i < n;) {
    const std::int32_t at = i;
    UChar32 c;
    U16_NEXT(s, i, n, c);
    Shape shape;
    const std::uint16_t known = (bmp != nullptr && c <= 0xFFFF) ? bmp[c] : kAskIcu;
    if (known != kAskIcu) {
      shape.lead = static_cast<std::uint8_t>(known & 0xFF);
      shape.trail = static_cast<std::uint8_t>(known >> 8);
    } else if (!shape_of(norm, c, scratch, shape)) {
      return false;
    }
    if (shape.empty) continue;
    if ((last == 0 || shape.lead == 0) && !close(at)) return false;
    if ((shape.lead != 0 && shape.lead < last) || !shape.ordered) disordered = true;
    last = shape.trail;
  }
  if (!close(n)) return false;
  if (reordered) out.insert(out.end(), s + copied, s + n);
  return true;
}

// The UTS #46 mapping and normalisation of `in` (the first stage of ToASCII, which ICU runs
// on the whole text before it looks at labels), as UTF-8. Afterwards every label separator
// is a '.'. False for text that is not UTF-8 (ToASCII refuses it) or too long for ICU.
bool map_uts46(std::string_view in, std::string& out) {
  static const UNormalizer2* const norm = []() -> const UNormalizer2* {
    UErrorCode err = U_ZERO_ERROR;
    const UNormalizer2* n = unorm2_getInstance(nullptr, "uts46", UNORM2_COMPOSE, &err);
    return U_FAILURE(err) ? nullptr : n;
  }();
  if (norm == nullptr || in.size() >= static_cast<std::size_t>(INT32_MAX)) return false;

  // UTF-16 needs at most one unit per UTF-8 byte.
  std::vector<UChar> utf16(in.size() + 1);
  std::int32_t n16 = 0;
  std::int32_t substitutions = 0;
  UErrorCode err = U_ZERO_ERROR;
  u_strFromUTF8WithSub(utf16.data(), static_cast<std::int32_t>(utf16.size()), &n16, in.data(),
                       static_cast<std::int32_t>(in.size()), 0xFFFD, &substitutions, &err);
  if (U_FAILURE(err) || substitutions != 0) return false;
  {  // marks into canonical order first, or ICU's normaliser may take quadratic time
    std::vector<UChar> ordered;
    bool reordered = false;
    if (!order_marks(norm, utf16.data(), n16, ordered, reordered)) return false;
    if (reordered) {
      if (ordered.size() >= static_cast<std::size_t>(INT32_MAX)) return false;
      utf16.swap(ordered);
      n16 = static_cast<std::int32_t>(utf16.size());
    }
  }

  std::vector<UChar> mapped;
  std::size_t cap = static_cast<std::size_t>(n16) + static_cast<std::size_t>(n16) / 4 + 16;
  for (int attempt = 0;; ++attempt) {
    if (cap > static_cast<std::size_t>(INT32_MAX) || attempt == 4) return false;
    mapped.resize(cap);
    err = U_ZERO_ERROR;
    const std::int32_t n = unorm2_normalize(norm, utf16.data(), n16, mapped.data(),
                                            static_cast<std::int32_t>(cap), &err);
    if (err == U_BUFFER_OVERFLOW_ERROR && n > 0 && static_cast<std::size_t>(n) > cap) {
      cap = static_cast<std::size_t>(n);
      continue;
    }
    if (U_FAILURE(err) || n < 0 || static_cast<std::size_t>(n) > cap) return false;
    mapped.resize(static_cast<std::size_t>(n));
    break;
  }
  std::vector<UChar>().swap(utf16);

  // At most three UTF-8 bytes per UTF-16 unit.
  const std::size_t cap8 = mapped.size() * 3;
  if (cap8 > static_cast<std::size_t>(INT32_MAX)) return false;
  out.resize(cap8);
  std::int32_t n8 = 0;
  err = U_ZERO_ERROR;
  u_strToUTF8(out.data(), static_cast<std::int32_t>(cap8), &n8, mapped.data(),
              static_cast<std::int32_t>(mapped.size()), &err);
  if (U_FAILURE(err) || n8 < 0 || static_cast<std::size_t>(n8) > cap8) return false;
  out.resize(static_cast<std::size_t>(n8));
  return true;
}

// Converts text that the UTS #46 mapping leaves unchanged piece by piece, cut at '.'.
// ICU rewrites its working copy once per label that changes, so one call over a long text
// costs about (labels x length). UTS #46 checks each label on its own, except CheckBidi: once
// any label of the name is a Bidi label, every label must pass the Bidi rule. A piece that
// fails on its own fails the whole. For the rest, two probes per piece tell whether it holds
// a Bidi label (adding a label that fails the rule makes ICU report Bidi) and whether it holds
// a label that fails the rule (adding a Bidi label that passes makes ICU report Bidi); the
// whole is refused exactly when some piece has the first and some piece the second. Empty
// labels play no part in the Bidi test, so cuts next to them are harmless.
bool convert_in_pieces(const UIDNA* idna, std::string_view input, std::string& out,
                       std::size_t piece_bytes, Mode mode) {
  // Cut after at least piece_bytes, at the next '.'.
  auto next_cut = [&](std::size_t start) -> std::size_t {
    if (input.size() - start <= piece_bytes) return input.size();
    const void* dot = std::memchr(input.data() + start + piece_bytes, '.',
                                  input.size() - start - piece_bytes);
    return dot ? static_cast<std::size_t>(static_cast<const char*>(dot) - input.data())
               : input.size();
  };

  std::uint32_t errors = 0;
  bool single = true;
  for (std::size_t start = 0;;) {
    const std::size_t cut = next_cut(start);
    if (!convert_once(idna, input.substr(start, cut - start), out, errors, mode) ||
        refused(errors))
      return false;
    if (cut == input.size()) break;
    single = false;
    out.push_back('.');
    start = cut + 1;
  }
  if (single) return true;

  bool any_bidi = false;
  bool any_failing = false;
  std::string probe;
  std::string scratch;
  for (std::size_t start = 0;;) {
    const std::size_t cut = next_cut(start);
    const std::string_view piece = input.substr(start, cut - start);
    for (int k = 0; k < 2; ++k) {
      bool& flag = k == 0 ? any_bidi : any_failing;
      if (flag) continue;
      probe.assign(piece);
      probe.push_back('.');
      probe.append(k == 0 ? kFailingProbe : kRtlProbe);
      scratch.clear();
      if (!convert_once(idna, probe, scratch, errors, mode)) return false;
      flag = (errors & UIDNA_ERROR_BIDI) != 0;
    }
    if (any_bidi && any_failing) return false;
    if (cut == input.size()) break;
    start = cut + 1;
  }
  return true;
}

}  // namespace

bool converts_without_icu(std::string_view input) noexcept {
  const char* p = input.data();
  const std::size_t n = input.size();
  // Non-ASCII bytes, eight at a time.
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, p + i, 8);
    if (w & 0x8080808080808080ULL) return false;
  }
  for (; i < n; ++i)
    if (static_cast<unsigned char>(p[i]) >= 0x80) return false;
  // "xn--" at a label's start, in any case: look only where a '-' stands.
  for (const char* q = p; (q = static_cast<const char*>(std::memchr(q, '-', p + n - q))); ++q) {
    const auto k = static_cast<std::size_t>(q - p);
    if (k >= 2 && k + 1 < n && p[k + 1] == '-' && (p[k - 1] | 0x20) == 'n' &&
        (p[k - 2] | 0x20) == 'x' && (k == 2 || p[k - 3] == '.'))
      return false;
  }
  return true;
}

// A short text is one ICU call. A longer one is first mapped (UTS #46 maps and normalises
// character by character, and the mapping is idempotent, so ToASCII of the mapped text is
// ToASCII of the text); the mapped text shows every label boundary as a '.', and is then
// converted in pieces.
bool domain_to_ascii_icu(std::string_view input, std::string& out, std::size_t piece_bytes,
                         std::size_t single_call_bytes) {
  out.clear();
  const UIDNA* idna = instance();
  if (idna == nullptr) return false;
  if (piece_bytes == 0) piece_bytes = 1;

  // A text of more than 253 characters most likely has an ASCII form too long for any name;
  // judging it first spares the Punycode encoding, whose cost grows with the square of a
  // label's length. The judged (Unicode) answer stands only when it is itself longer than any
  // name: each of its characters stands for at least one byte of the ASCII form. An "xn--"
  // label decodes to fewer characters, so a shorter answer is converted after all. Shorter
  // texts, real names among them, are converted at once.
  const auto judge_then_convert = [&](std::string_view text, auto&& convert) {
    if (types::count_chars(text) > checker::kMaxDomainBytes) {
      if (!convert(Mode::Judge)) return false;
      if (types::count_chars(out) > checker::kMaxDomainBytes) return true;
      out.clear();
    }
    return convert(Mode::Convert);
  };

  if (input.size() <= single_call_bytes || input.size() <= piece_bytes) {
    return judge_then_convert(input, [&](Mode mode) {
      std::uint32_t errors = 0;
      return convert_once(idna, input, out, errors, mode) && !refused(errors);
    });
  }
  std::string mapped;
  if (!map_uts46(input, mapped)) return false;
  return judge_then_convert(mapped, [&](Mode mode) {
    return convert_in_pieces(idna, mapped, out, piece_bytes, mode);
  });
}

bool domain_to_ascii(std::string_view input, std::string& out) {
  if (converts_without_icu(input)) {
    out.assign(input);
    types::fold_ascii_in_place(out);
    return true;
  }
  return domain_to_ascii_icu(input, out);
}

}  // namespace zelvar::idna
