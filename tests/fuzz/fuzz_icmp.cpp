// What an ICMP socket reads, against one request: bytes 0-7 are the request
// (destination, identifier, sequence), byte 8 the length of its payload,
// taken from the end of the packet so that matches can be found; when byte 9
// is odd the harness puts the right ICMP checksum into a raw packet, so that
// the fuzzer gets past it. The rest is the packet.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzCheck.h"
#include "platform/EchoService.h"
#include "platform/IcmpPacket.h"

using namespace norvik::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 10) return 0;
    EchoRequestId ours;
    std::memcpy(&ours.destination, data, 4);
    ours.identifier = static_cast<std::uint16_t>(data[4] << 8 | data[5]);
    ours.sequence = static_cast<std::uint16_t>(data[6] << 8 | data[7]);
    std::vector<unsigned char> bytes(data + 10, data + size);
    const std::size_t length = bytes.size();
    if ((data[9] & 1) && length >= 28) {
        const std::size_t ipLength = (bytes[0] & 0x0F) * 4u;
        if (ipLength + 8 <= length) {
            bytes[ipLength + 2] = bytes[ipLength + 3] = 0;
            const std::uint16_t sum = icmpChecksum(bytes.data() + ipLength, length - ipLength);
            bytes[ipLength + 2] = static_cast<unsigned char>(sum >> 8);
            bytes[ipLength + 3] = static_cast<unsigned char>(sum & 0xFF);
        }
    }
    if (length == 0) return 0;
    const unsigned char* packet = bytes.data();
    const std::size_t payload = data[8] < length ? data[8] : length;
    ours.payload =
        std::string_view(reinterpret_cast<const char*>(packet + length - payload), payload);

    if (const auto answer = answerOnRawSocket(packet, length, ours)) {
        FUZZ_CHECK(length >= 28 && (packet[0] >> 4) == 4);
        FUZZ_CHECK(answer->status == status::kSuccess ||
                   (answer->status >= status::kDestNetUnreachable &&
                    answer->status <= status::kSourceQuench));
        std::uint32_t from;
        std::memcpy(&from, packet + 12, 4);
        FUZZ_CHECK(answer->from == from && answer->ttl == packet[8]);
    }
    if (isReplyOnDatagramSocket(packet, length, ours))
        FUZZ_CHECK(packet[0] == 0 && length == 8 + ours.payload.size());
    std::uint32_t quotedTo;
    std::memcpy(&quotedTo, data, 4);
    if (quotesOurRequest(packet, length, quotedTo ^ (length & 1), ours))
        FUZZ_CHECK(packet[0] == 8 && (ours.destination == 0 || !(length & 1)));
    for (int code = 0; code < 2 && length > 1; ++code)
        statusForIcmpError(packet[0], packet[1] + code);
    // The same bytes as ICMPv6 (no IP header), the destination's 16 bytes
    // from the packet's end.
    Ip6Bytes to{};
    if (length >= 16) std::memcpy(to.data(), packet + length - 16, 16);
    if (const auto status = answerOnRaw6Socket(packet, length, to, ours))
        FUZZ_CHECK(*status == status::kSuccess ? packet[0] == kIcmp6EchoReply
                                               : length >= 56 && packet[0] <= 4);
    if (isReply6OnDatagramSocket(packet, length, ours))
        FUZZ_CHECK(packet[0] == kIcmp6EchoReply && length == 8 + ours.payload.size());
    if (quotes6OurRequest(packet, length, to, Ip6Bytes{}, ours))
        FUZZ_CHECK(packet[0] == kIcmp6EchoRequest);
    return 0;
}
