#include "records.hpp"

#include <algorithm>

namespace zelvar::python {

SourceMap make_source_map(std::vector<std::pair<std::string, std::string>> pairs) {
  // std::string compares through char_traits<char>, which orders bytes as unsigned: byte order,
  // a prefix first.
  std::stable_sort(pairs.begin(), pairs.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::size_t kept = 0;
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    const bool last_of_run = i + 1 == pairs.size() || pairs[i + 1].first != pairs[i].first;
    if (!last_of_run) continue;
    if (kept != i) pairs[kept] = std::move(pairs[i]);
    ++kept;
  }
  pairs.erase(pairs.begin() + static_cast<std::ptrdiff_t>(kept), pairs.end());
  return pairs;
}

}  // namespace zelvar::python
