#include "checker.hpp"

namespace zelvar::checker {

namespace {

constexpr std::size_t kMaxLabelBytes = 63;

enum ByteClass : unsigned char { kValid, kDot, kInvalid };

// Valid label bytes are "a" to "z", "0" to "9" and "-"; everything else but "." is invalid.
constexpr auto kClasses = [] {
  struct Table {
    ByteClass c[256];
  } t{};
  for (int b = 0; b < 256; ++b) {
    const bool valid = (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-';
    t.c[b] = b == '.' ? kDot : valid ? kValid : kInvalid;
  }
  return t;
}();

// The failure text of one label, in the order of its tests, or nullptr when it is well formed.
const char* label_failure(const char* p, std::size_t n, bool invalid_byte) noexcept {
  if (n == 0) return "DNS syntax: empty label";
  if (n > kMaxLabelBytes) return "DNS syntax: label exceeds 63 characters";
  if (p[0] == '-' || p[n - 1] == '-') return "DNS syntax: label cannot start or end with a hyphen";
  if (invalid_byte) return "DNS syntax: label contains invalid characters";
  return nullptr;
}

}  // namespace

std::optional<std::string> validate_ascii_domain(std::string_view domain) {
  if (domain.empty()) return std::string("DNS syntax: empty domain");
  if (domain.size() > kMaxDomainBytes)
    return std::string("DNS syntax: domain exceeds 253 characters");

  // One pass: each label is judged as soon as its end is found.
  const char* p = domain.data();
  const std::size_t n = domain.size();
  std::size_t start = 0;
  bool invalid = false;
  for (std::size_t i = 0; i < n; ++i) {
    const ByteClass c = kClasses.c[static_cast<unsigned char>(p[i])];
    if (c == kDot) {
      if (const char* msg = label_failure(p + start, i - start, invalid)) return std::string(msg);
      start = i + 1;
      invalid = false;
    } else {
      invalid |= c == kInvalid;
    }
  }
  if (const char* msg = label_failure(p + start, n - start, invalid)) return std::string(msg);
  return std::nullopt;
}

}  // namespace zelvar::checker
