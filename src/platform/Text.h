#pragma once

#include <string>
#include <string_view>

namespace norvik::platform {

// Line ends: text boxes and message boxes break lines with CR LF, a
// terminal and a network answer with LF.
// Drops every CR that comes right before an LF; other CRs stay.
std::string CrLfToLf(std::string_view text);
// Puts a CR before every LF, also one that has a CR before it already.
std::string LfToCrLf(std::string_view text);

// A-Z to a-z; every other byte stays (no locale, no UTF-8).
constexpr char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string AsciiLower(std::string_view text);

}  // namespace norvik::platform
