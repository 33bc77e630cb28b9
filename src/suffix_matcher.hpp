// Public suffix matching over the compiled list (both sections), by the list's own algorithm.
#pragma once

#include <cstddef>

namespace zelvar::psl {

// Length in bytes of the public suffix at the end of `name` (lowercase ASCII, `len` bytes, no
// terminator needed). Allocates nothing.
std::size_t public_suffix_length(const char* name, std::size_t len) noexcept;

}  // namespace zelvar::psl
