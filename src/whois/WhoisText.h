#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// What the whois lookup does with texts, as plain functions of their input:
// the query it sends, the answer it shows, and the referral it offers.
namespace norvik::whois {

// The default whois servers: of the generic domains ("US") and of the
// United Kingdom's domains ("GB").
inline constexpr const char* kDefaultUsServer = "whois.verisign-grs.com";
inline constexpr const char* kDefaultGbServer = "whois.nic.uk";

// The most of an answer that is kept.
inline constexpr std::size_t kAnswerCap = std::size_t{4} << 20;
// The line shown after an answer that was cut at kAnswerCap.
inline constexpr const char* kCutLine = "[answer cut at 4 MiB]";
// An answer, or a server list, gets 60 s from the connect, counted in
// ticks of the exchange's 10-second timer; what arrived by then is taken,
// and a whois answer ends in the kLateLine line.
inline constexpr int kAnswerTicks = 6;
inline constexpr const char* kLateLine = "[answer cut after 60 s]";

// The bytes sent for a domain: ASCII text exactly as typed, case kept; a
// domain with characters beyond ASCII in its ACE form (falling back to
// UTF-8 when it has none); then CR LF.
std::string QueryBytes(const QString& domain);

// An answer as text: UTF-8 when the bytes are valid UTF-8, else one
// character per byte (Latin-1).
QString DecodeAnswer(const std::string& bytes);

// An answer cut short: drops a UTF-8 sequence that the cut split, then
// adds the line saying why (kCutLine or kLateLine).
std::string MarkCut(std::string bytes, const char* line = kCutLine);

// The text of the result box laid out as lines: each LF, CR LF, CR CR LF or
// lone CR is one line break.
QString DisplayLines(const QString& boxText);

// The time-out text of the result box.
QString TimeoutText(const QString& server);

// A whois server that an answer names for more details.
struct Referral {
    std::string host;
    std::uint16_t port = 43;  // as the referral gave it, else 43
    bool operator==(const Referral&) const = default;
};

// The first line of the answer that names another whois server:
// "Registrar WHOIS Server:", "refer:", "whois:" (any letter case, leading
// blanks allowed) followed by a host name, or "ReferralServer: whois://"
// followed by a host name and perhaps a port. A host that is not a usable
// host name, or the server that gave the answer (`asked`, any letter case,
// a final dot ignored) is not offered. With `askedPort` the server is
// the host on that port, and the same host on another port is offered;
// without it any port of the host counts as that server.
std::optional<Referral> FindReferral(const std::string& answer, const std::string& asked,
                                     std::optional<std::uint16_t> askedPort = std::nullopt);

// Whether two host names name the same server: letter case and a final
// dot do not count.
bool SameServer(const std::string& a, const std::string& b);

}  // namespace norvik::whois
