#include "ping/Numbers.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace norvik::ping {

std::string PlainDecimal(std::int64_t n) { return std::to_string(n); }

std::string SignedField(double v) {
    if (v == 0) v = 0;  // no "-0"
    char buf[64];
    // Up to 15 significant digits, without trailing zeros: 33.3, 12, 1e+20.
    std::snprintf(buf, sizeof buf, "%.15g", v);
    std::string s = buf;
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
    return std::strtod(num.c_str(), nullptr);
}

std::optional<double> ParseNumber(const std::string& text) {
    std::size_t b = 0, e = text.size();
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (b < e && blank(text[b])) ++b;
    while (e > b && blank(text[e - 1])) --e;
    const std::string t = text.substr(b, e - b);
    if (t.empty()) return std::nullopt;
    // Only what a decimal number may hold: strtod alone would also take
    // hexadecimal, "inf" and "nan".
    for (char c : t) {
        if (!std::strchr("0123456789+-.eE", c)) return std::nullopt;
    }
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    if (end != t.c_str() + t.size()) return std::nullopt;
    if (errno == ERANGE && std::isinf(v)) return std::nullopt;
    if (!std::isfinite(v)) return std::nullopt;
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
