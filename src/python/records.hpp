// The records behind the three Python classes. Plain C++ values, free of the interpreter's
// API, so that they can be built and tested without it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zelvar::python {

// Field name to address, ascending by field name (byte order), one entry per name.
using SourceMap = std::vector<std::pair<std::string, std::string>>;

// Turns a rule's source pairs into a SourceMap: a stable sort by field name, and of each run of
// equal names only the last pair, so the value that stands latest in the rule's list wins.
// Texts are moved, never copied.
SourceMap make_source_map(std::vector<std::pair<std::string, std::string>> pairs);

// The core Registry has no state, so its wrapper holds nothing either.
struct PyRegistry {};

struct PyCheckResult {
  std::string status;
  std::vector<std::string> reasons;
};

struct PyTldInfo {
  std::string tld;
  std::string registerable;
  std::optional<std::string> reason;
  std::optional<std::string> note;
  std::vector<std::string> restrictions;
  std::uint8_t min_length = 0;
  std::uint8_t max_length = 0;
  std::string length_basis;
  std::vector<std::string> banned;
  std::string charset;
  std::string idn_chars;
  SourceMap sources;
};

}  // namespace zelvar::python
