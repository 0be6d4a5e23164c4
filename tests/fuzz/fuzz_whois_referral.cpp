// Whois answers searched for a referral to another server: the input is the
// server that was asked and, after the first NUL, its answer (without a NUL
// the whole input is the answer of an unnamed server).
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "whois/WhoisText.h"

using namespace norvik::whois;

namespace {

std::string swapCase(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

bool hostChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = input.find('\0');
    const std::string asked = nul == std::string::npos ? std::string() : input.substr(0, nul);
    const std::string answer = nul == std::string::npos ? input : input.substr(nul + 1);

    // Two names of one server: case and final dots do not count.
    FUZZ_CHECK(SameServer(asked, asked) && SameServer(asked, swapCase(asked) + ".."));
    FUZZ_CHECK(SameServer(asked, answer) == SameServer(answer, asked));

    const auto found = FindReferral(answer, asked);
    // Letter case counts neither in the keys nor against the server asked.
    const auto swapped = FindReferral(swapCase(answer), swapCase(asked));
    FUZZ_CHECK(found.has_value() == swapped.has_value());
    // Each line is read on its own: the first line that gives a referral
    // gives the answer's.
    std::optional<Referral> first;
    for (std::size_t start = 0; start < answer.size() && !first;) {
        std::size_t end = answer.find('\n', start);
        if (end == std::string::npos) end = answer.size();
        first = FindReferral(answer.substr(start, end - start), asked);
        start = end + 1;
    }
    FUZZ_CHECK(first == found);
    if (!found) return 0;

    // A usable host name from the answer, never the server asked.
    const std::string& host = found->host;
    FUZZ_CHECK(!host.empty() && host.size() <= 253 && answer.find(host) != std::string::npos);
    for (char c : host) FUZZ_CHECK(hostChar(c));
    FUZZ_CHECK(host.find('.') != std::string::npos && host.front() != '.' && host.front() != '-' &&
               host.back() != '.');
    FUZZ_CHECK(found->port != 0 && !SameServer(host, asked));
    FUZZ_CHECK(swapped->host == swapCase(host) && swapped->port == found->port);
    // Offered again in an answer of its own, it reads back the same.
    FUZZ_CHECK(FindReferral("  Whois:\t" + host + ".\r\n", asked) == (Referral{host, 43}));
    FUZZ_CHECK(!FindReferral("refer: " + host, host + "."));
    return 0;
}
