// The records behind the three Python classes. Plain C++ values, free of the interpreter's
// API, so that they can be built and tested without it.
#pragma once

#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "types.hpp"

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

// A TldInfo holds a rule summary, field for field, once its sources have been made a
// SourceMap (make_source_map): the two share one representation.
using PyTldInfo = types::TldRuleSummary;
static_assert(std::is_same_v<decltype(PyTldInfo::sources), SourceMap>);

}  // namespace zelvar::python
