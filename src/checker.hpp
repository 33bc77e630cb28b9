// DNS syntax of the ASCII form of a name.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zelvar::checker {

// Success is std::nullopt; a failure carries its one message. Every test is on bytes.
std::optional<std::string> validate_ascii_domain(std::string_view domain);

}  // namespace zelvar::checker
