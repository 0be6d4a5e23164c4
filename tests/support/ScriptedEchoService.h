#pragma once

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
        if (results.empty()) failWith(platform::status::kTimedOut);
        auto r = results.front();
        results.pop_front();
        if (r.status == platform::status::kSuccess && r.data.empty()) r.data = request.payload;
        return r;
    }
    std::string unavailableReason() const override { return {}; }

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

    std::deque<platform::EchoResult> results;
    std::vector<platform::EchoRequest> requests;
    std::function<void(const platform::EchoRequest&, const platform::Waiter&)> onSend;

  private:
    void push(int status, std::uint32_t addr, std::uint32_t ms) {
        platform::EchoResult r;
        r.status = status;
        r.replyAddress = addr;
        r.roundTripMs = ms;
        r.roundTripUs = ms * 1000;
        results.push_back(r);
    }
};

}  // namespace norvik::test
