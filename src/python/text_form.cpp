#include "text_form.hpp"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstdint>

namespace zelvar::python {
namespace {

bool is_printable(UChar32 c) {
  if (c == 0x20) return true;
  switch (u_charType(c)) {
    case U_CONTROL_CHAR:       // Cc
    case U_FORMAT_CHAR:        // Cf
    case U_SURROGATE:          // Cs
    case U_PRIVATE_USE_CHAR:   // Co
    case U_UNASSIGNED:         // Cn
    case U_LINE_SEPARATOR:     // Zl
    case U_PARAGRAPH_SEPARATOR:  // Zp
    case U_SPACE_SEPARATOR:    // Zs
      return false;
    default:
      return true;
  }
}

void append_unicode_escape(std::string& out, std::uint32_t c) {
  static constexpr char digits[] = "0123456789abcdef";
  char buf[8];
  int n = 0;
  do {
    buf[n++] = digits[c & 0xF];
    c >>= 4;
  } while (c != 0);
  out += "\\u{";
  while (n > 0) out += buf[--n];
  out += '}';
}

}  // namespace

void append_quoted(std::string& out, std::string_view text) {
  out += '"';
  const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto length = static_cast<std::int32_t>(text.size());
  std::int32_t i = 0;
  while (i < length) {
    const std::int32_t start = i;
    UChar32 c;
    U8_NEXT(s, i, length, c);
    // Texts reach here from the checker and the rule table, which hold valid UTF-8 only; a
    // malformed sequence is shown as the replacement character rather than passed through.
    const bool malformed = c < 0;
    if (malformed) c = 0xFFFD;
    switch (c) {
      case 0x00: out += "\\0"; continue;
      case 0x09: out += "\\t"; continue;
      case 0x0A: out += "\\n"; continue;
      case 0x0D: out += "\\r"; continue;
      case 0x5C: out += "\\\\"; continue;
      case 0x22: out += "\\\""; continue;
      case 0x27: out += '\''; continue;
      default: break;
    }
    if (u_hasBinaryProperty(c, UCHAR_GRAPHEME_EXTEND) || !is_printable(c)) {
      append_unicode_escape(out, static_cast<std::uint32_t>(c));
    } else if (malformed) {
      out += "\xEF\xBF\xBD";
    } else {
      out.append(text.data() + start, static_cast<std::size_t>(i - start));
    }
  }
  out += '"';
}

std::string check_result_text(std::string_view status, std::span<const std::string> reasons) {
  std::string out;
  out.reserve(40 + status.size() + reasons.size() * 48);
  out += "CheckResult(status='";
  out += status;
  out += "', reasons=[";
  bool first = true;
  for (const auto& reason : reasons) {
    if (!first) out += ", ";
    first = false;
    append_quoted(out, reason);
  }
  out += "])";
  return out;
}

std::string tld_info_text(std::string_view tld, std::string_view registerable) {
  std::string out;
  out.reserve(34 + tld.size() + registerable.size());
  out += "TldInfo(tld='";
  out += tld;
  out += "', registerable='";
  out += registerable;
  out += "')";
  return out;
}

}  // namespace zelvar::python
