#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace norvik::ping {

// Number to text, plain decimal: digits, "-" when negative, no blank.
std::string PlainDecimal(std::int64_t n);
// Signed-field decimal: one leading blank in place of the sign for zero and
// positive numbers (12 gives " 12", 33.3 gives " 33.3", -3 gives "-3").
// Fractions show as many digits as they need, without a trailing zero.
std::string SignedField(double v);

// The leading-number rule: leading blanks skipped, the longest leading
// decimal number taken (sign, digits, one decimal point), 0 when there is
// none. "32abc" gives 32, "abc" 0, " 2.5" 2.5.
double LeadingNumber(const std::string& text);

// A whole text read as a number, as a conversion would take it: blanks
// around it, a sign, a decimal point and an exponent are allowed; anything
// else (empty text, letters, "0x10", a second number) is no number.
std::optional<double> ParseNumber(const std::string& text);

// Rounds to the given number of decimal places, halves to the even
// neighbour (2.5 gives 2, 0.125 at two places gives 0.12).
double RoundHalfEven(double v, int places);

// The payload for a size text: N, o, r, v, i, k repeated, as many
// characters as the leading number of the text (fractions dropped, nothing
// below 1). Kept at kMaxPayload: no echo can carry more.
inline constexpr std::size_t kMaxPayload = 65536;
std::string BuildPayload(const std::string& sizeText);
std::string PayloadOfSize(std::size_t n);

}  // namespace norvik::ping
