// Texts typed into number fields: the leading-number rule, the whole-text
// numeric test, rounding (the first byte picks the places) and the texts
// and payloads made from the results.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "ping/Numbers.h"

using namespace norvik::ping;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const int places = static_cast<int>(data[0] % 24) - 4;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    const double leading = LeadingNumber(text);
    FUZZ_CHECK(!std::isnan(leading));
    if (const auto number = ParseNumber(text)) {
        FUZZ_CHECK(std::isfinite(*number));
        const double rounded = RoundHalfEven(*number, places);
        if (places == 0 && std::isfinite(rounded)) FUZZ_CHECK(rounded == std::nearbyint(rounded));
        FUZZ_CHECK(!SignedField(rounded).empty());
    }
    const std::string field = SignedField(leading);
    FUZZ_CHECK(!field.empty() && (field[0] == ' ' || field[0] == '-'));
    const std::string payload = BuildPayload(text);
    FUZZ_CHECK(payload.size() <= kMaxPayload);
    FUZZ_CHECK(payload.empty() || payload[0] == 'N');
    if (leading >= 1 && leading < 1e6)
        FUZZ_CHECK(payload.size() == std::min<std::size_t>(kMaxPayload, std::size_t(leading)));
    FUZZ_CHECK(PlainDecimal(static_cast<std::int64_t>(size) - 500) ==
               std::to_string(int(size) - 500));
    return 0;
}
