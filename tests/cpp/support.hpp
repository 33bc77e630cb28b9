// Helpers shared by the C++ tests.
#pragma once

#include <string>
#include <string_view>

namespace zelvar::testing {

// Bytes outside printable ASCII as \xHH, for readable failure traces; long texts are cut.
inline std::string printable(std::string_view s, std::size_t limit = 100) {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s.substr(0, limit)) {
    if (c >= 0x20 && c < 0x7F) {
      out.push_back(static_cast<char>(c));
    } else {
      out += "\\x";
      out.push_back(hex[c >> 4]);
      out.push_back(hex[c & 15]);
    }
  }
  if (s.size() > limit) out += "...";
  return out;
}

}  // namespace zelvar::testing
