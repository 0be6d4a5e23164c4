#include "platform/Text.h"

#include <algorithm>

namespace norvik::platform {

std::string CrLfToLf(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

std::string LfToCrLf(std::string_view text) {
    const auto lfs = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    std::string out(text.size() + lfs, '\0');
    char* to = out.data();
    for (char c : text) {
        if (c == '\n') *to++ = '\r';
        *to++ = c;
    }
    return out;
}

std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = AsciiLower(c);
    return out;
}

}  // namespace norvik::platform
