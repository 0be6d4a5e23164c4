#include "ping/Numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>

namespace norvik::ping {

namespace {

// Whether a decimal number too far from 1 for a double is too large rather
// than too small: the power of ten of its first significant digit decides.
bool TooLarge(std::string_view t) {
    constexpr long long kFar = 1'000'000'000'000;  // beyond any double, far from overflowing
    long long exponent = 0;
    if (const std::size_t e = t.find_first_of("eE"); e != std::string_view::npos) {
        std::string_view x = t.substr(e + 1);
        if (!x.empty() && x[0] == '+') x.remove_prefix(1);
        const bool negative = !x.empty() && x[0] == '-';
        if (std::from_chars(x.data(), x.data() + x.size(), exponent).ec != std::errc())
            exponent = negative ? -kFar : kFar;
        exponent = std::clamp(exponent, -kFar, kFar);
        t = t.substr(0, e);
    }
    const std::size_t point = std::min(t.find('.'), t.size());
    const std::size_t first = t.find_first_of("123456789");
    if (first == std::string_view::npos) return false;
    const long long power = first < point ? static_cast<long long>(point - first - 1)
                                          : -static_cast<long long>(first - point);
    return power + exponent > 0;
}

// The value of a decimal number (sign, digits, point, exponent) that takes
// all of [b, e), by the program's own rules whatever the C library's
// locale: a decimal point, never a comma. Too large gives infinity, too
// small zero. nullopt when it is not all one number.
std::optional<double> DecimalValue(const char* b, const char* e) {
    const bool minus = b != e && *b == '-';
    // from_chars takes a "-" but no "+"; "+-1" is no number.
    if (b != e && *b == '+' && ++b != e && *b == '-') return std::nullopt;
    double v = 0;
    const auto [end, ec] = std::from_chars(b, e, v, std::chars_format::general);
    if (end != e) return std::nullopt;
    if (ec == std::errc::result_out_of_range) {
        v = TooLarge(std::string_view(b, std::size_t(e - b)))
                ? std::numeric_limits<double>::infinity()
                : 0.0;
        return minus ? -v : v;
    }
    if (ec != std::errc()) return std::nullopt;
    return v;
}

}  // namespace

std::string PlainDecimal(std::int64_t n) { return std::to_string(n); }

std::string SignedField(double v) {
    if (v == 0) v = 0;  // no "-0"
    char buf[64];
    // Up to 15 significant digits, without trailing zeros: 33.3, 12, 1e+20;
    // a decimal point whatever the locale.
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
    std::string s(buf, r.ptr);
    return v < 0 ? s : " " + s;
}

double LeadingNumber(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    std::string num;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) num += text[i++];
    bool digits = false, point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            num += c;
            digits = true;
        } else if (c == '.' && !point) {
            num += c;
            point = true;
        } else {
            break;
        }
    }
    if (!digits) return 0;
    return *DecimalValue(num.data(), num.data() + num.size());
}

std::optional<double> ParseNumber(const std::string& text) {
    std::size_t b = 0, e = text.size();
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (b < e && blank(text[b])) ++b;
    while (e > b && blank(text[e - 1])) --e;
    const std::string t = text.substr(b, e - b);
    if (t.empty()) return std::nullopt;
    // Only what a decimal number may hold: a conversion alone would also
    // take "inf" and "nan".
    for (char c : t) {
        if (!std::strchr("0123456789+-.eE", c)) return std::nullopt;
    }
    const std::optional<double> v = DecimalValue(t.data(), t.data() + t.size());
    if (!v || !std::isfinite(*v)) return std::nullopt;
    return v;
}

double RoundHalfEven(double v, int places) {
    const double scale = std::pow(10.0, places);
    // nearbyint in the default rounding mode takes halves to the even side.
    return std::nearbyint(v * scale) / scale;
}

std::string PayloadOfSize(std::size_t n) {
    static const char letters[] = "Norvik";
    std::string p;
    p.resize(n);
    for (std::size_t k = 0; k < n; ++k) p[k] = letters[k % 6];
    return p;
}

std::string BuildPayload(const std::string& sizeText) {
    const double n = LeadingNumber(sizeText);
    if (!(n >= 1)) return {};
    const double capped = n > double(kMaxPayload) ? double(kMaxPayload) : n;
    return PayloadOfSize(static_cast<std::size_t>(capped));
}

}  // namespace norvik::ping
