// DNS syntax of the ASCII form of a name.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zelvar::checker {

// The most bytes a name may hold; IDNA and the check rely on it to skip work on longer texts.
inline constexpr std::size_t kMaxDomainBytes = 253;

// Success is std::nullopt; a failure carries its one message. Every test is on bytes.
std::optional<std::string> validate_ascii_domain(std::string_view domain);

}  // namespace zelvar::checker
