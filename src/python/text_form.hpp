// The repr texts of CheckResult and TldInfo. Free of the interpreter's API.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace zelvar::python {

// Appends `text` (UTF-8) between double quotes, each character escaped by the debug rule:
// \0 \t \n \r \\ \" for those six, the single quote as itself, Grapheme_Extend and
// non-printable characters as \u{hex}, every other character as itself.
void append_quoted(std::string& out, std::string_view text);

// CheckResult(status='{status}', reasons=["...", ...]); the status is inserted unchanged.
std::string check_result_text(std::string_view status, std::span<const std::string> reasons);

// TldInfo(tld='{tld}', registerable='{registerable}'); both inserted unchanged.
std::string tld_info_text(std::string_view tld, std::string_view registerable);

}  // namespace zelvar::python
