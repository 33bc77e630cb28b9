// UTS #46 ToASCII, the configuration of the check: nontransitional, no STD3 rules, hyphen and
// DNS-length checks off, CheckBidi and CheckJoiners on.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zelvar::idna {

// Converts `input` (valid UTF-8) into `out`, replacing its content. False when UTS #46
// refuses the text; `out` is then unspecified. Text for which `converts_without_icu` holds is
// answered without ICU; everything else goes to ICU. A long text whose ASCII form would be
// longer than 253 bytes, the most that a name may hold, may be only judged: `out` then holds
// some other text of more than 253 bytes (its Unicode form), since no caller needs more than
// that length.
bool domain_to_ascii(std::string_view input, std::string& out);

// True when every byte is below 0x80 and no label (at the start or after a '.') begins with
// "xn--" in any case. Such text converts to itself with "A" to "Z" folded, and UTS #46 under
// this configuration never refuses it.
bool converts_without_icu(std::string_view input) noexcept;

// The ICU road for any text, exposed so that tests can hold the fast path against it.
// A text of more than `single_call_bytes` is converted in pieces of about `piece_bytes`, cut
// at '.'; the answer is the one that a single conversion of the whole text gives (see
// idna.cpp). One ICU call costs about (labels x length), so long texts need the pieces, while
// a short text is fastest in one call. Long texts also have their combining marks put into
// canonical order first, which ICU's normaliser does in time quadratic in a run's length.
inline constexpr std::size_t kPieceBytes = 256;
inline constexpr std::size_t kSingleCallBytes = 1024;
bool domain_to_ascii_icu(std::string_view input, std::string& out,
                         std::size_t piece_bytes = kPieceBytes,
                         std::size_t single_call_bytes = kSingleCallBytes);

}  // namespace zelvar::idna
