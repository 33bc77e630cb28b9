// UTS #46 ToASCII, the configuration of the check: nontransitional, no STD3 rules, hyphen and
// DNS-length checks off, CheckBidi and CheckJoiners on.
#pragma once

#include <string>
#include <string_view>

namespace zelvar::idna {

// Converts `input` (valid UTF-8) into `out`, replacing its content. False when UTS #46
// refuses the text; `out` is then unspecified.
bool domain_to_ascii(std::string_view input, std::string& out);

}  // namespace zelvar::idna
