#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <deque>
#include <functional>
#include <vector>

#include "platform/EchoService.h"
#include "platform/Resolver.h"

namespace norvik::test {

// An echo service that answers from a script: network behaviour loopback
// cannot produce (time-outs, router errors, odd statuses). With the script
// empty it answers a time-out.
class ScriptedEchoService : public platform::EchoService {
  public:
    platform::EchoResult send(const platform::EchoRequest& request,
                              const platform::Waiter& wait) override {
        requests.push_back(request);
        if (onSend) onSend(request, wait);
        if (hold && holdBack(request, wait)) return stoppedResult();
        if (results.empty()) failWith(platform::status::kTimedOut);
        auto r = results.front();
        results.pop_front();
        if (r.status == platform::status::kSuccess && r.data.empty()) r.data = request.payload;
        return r;
    }
    std::string unavailableReason() const override { return reason; }
    std::string reason;  // why no socket opens: none when empty

    // A reply from addr (network order) after ms with the payload echoed.
    void replyAfter(std::uint32_t ms, std::uint32_t addr = 0x0100007F) {
        push(platform::status::kSuccess, addr, ms);
    }
    void failWith(int status, std::uint32_t addr = 0) { push(status, addr, 0); }

    // An answer from a dotted address after ms: the reply, or a router's
    // error (by default its time-exceeded).
    void answer(const char* from, std::uint32_t ms,
                int status = platform::status::kTtlExpiredTransit) {
        push(status, platform::inetAddr(from), ms);
    }

    // Holds each answer back for the request's whole time-out, waiting
    // through the caller's waiter as a real echo does. A request stopped
    // meanwhile ends at once, its answer dropped; `dropped` counts those.
    bool hold = false;
    int dropped = 0;

    std::deque<platform::EchoResult> results;
    std::vector<platform::EchoRequest> requests;
    std::function<void(const platform::EchoRequest&, const platform::Waiter&)> onSend;

  private:
    bool holdBack(const platform::EchoRequest& request, const platform::Waiter& wait) {
        int fd[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fd) != 0) return false;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(request.timeoutMs);
        bool stopped = false;
        while (!stopped && std::chrono::steady_clock::now() < deadline) {
            wait(fd[0], static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(
                                             deadline - std::chrono::steady_clock::now())
                                             .count()));
            stopped = request.stopped && request.stopped();
        }
        ::close(fd[0]);
        ::close(fd[1]);
        if (stopped && !results.empty()) results.pop_front();
        dropped += stopped ? 1 : 0;
        return stopped;
    }
    static platform::EchoResult stoppedResult() {
        platform::EchoResult r;
        r.status = platform::status::kStopped;
        return r;
    }
    void push(int status, std::uint32_t addr, std::uint32_t ms) {
        platform::EchoResult r;
        r.status = status;
        r.replyAddress = platform::IpAddress::v4(addr);
        r.roundTripMs = ms;
        r.roundTripUs = ms * 1000;
        results.push_back(r);
    }
};

}  // namespace norvik::test
