#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "Netns.h"

namespace norvik::test {

// A point-to-point link between two namespaces of a lab whose packets wait
// a set time each way (the kernel here has no netem): a TUN device at each
// end and a child that copies packets from one to the other after the
// delay. Routes over it are the caller's, made once the relay is up.
struct DelayedLink {
    std::string a, addressA, b, addressB;  // roles and addresses without prefix
    std::chrono::microseconds delay;
    std::string address6A = {}, address6B = {};  // IPv6 ends too, when given
};

class DelayRelay {
  public:
    // Makes the devices, addresses them (each with the other end as peer)
    // and brings them up; error() is empty when that all worked.
    DelayRelay(NetnsLab& lab, const std::vector<DelayedLink>& links);
    const std::string& error() const { return error_; }
    // The device at end a (side 0) or b (side 1) of links[link], for routes
    // by device.
    static std::string device(std::size_t link, int side);

  private:
    std::unique_ptr<NetnsChild> child_;
    std::string error_;
};

}  // namespace norvik::test
