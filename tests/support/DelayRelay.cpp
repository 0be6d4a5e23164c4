#include "DelayRelay.h"

#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <deque>

namespace norvik::test {

namespace {

using Clock = std::chrono::steady_clock;

// In the child: the devices, then packets copied across until it is
// killed; the devices go with it.
std::string relay(const NetnsLab& lab, const std::vector<DelayedLink>& links) {
    std::vector<int> fds;
    std::vector<Clock::duration> delays;
    for (std::size_t i = 0; i < links.size(); ++i) {
        for (int side = 0; side < 2; ++side) {
            const std::string ns = "/run/netns/" + lab.name(side ? links[i].b : links[i].a);
            const int nsFd = ::open(ns.c_str(), O_RDONLY | O_CLOEXEC);
            if (nsFd < 0 || ::setns(nsFd, CLONE_NEWNET) != 0) return "cannot enter " + ns;
            ::close(nsFd);
            const int fd = ::open("/dev/net/tun", O_RDWR | O_CLOEXEC | O_NONBLOCK);
            ifreq ifr{};
            ifr.ifr_flags = IFF_TUN | IFF_NO_PI;
            std::snprintf(ifr.ifr_name, IFNAMSIZ, "%s", DelayRelay::device(i, side).c_str());
            if (fd < 0 || ::ioctl(fd, TUNSETIFF, &ifr) != 0) return "cannot make a TUN device";
            fds.push_back(fd);
            delays.push_back(links[i].delay);
        }
    }
    ::prctl(PR_SET_TIMERSLACK, 1UL);  // wake on time, not up to 50 us late
    NetnsChild::signalReady();
    struct Held {
        Clock::time_point due;
        int to;
        std::string packet;
    };
    std::deque<Held> held;  // in order of arrival; due times may differ by link
    std::vector<pollfd> polls;
    for (int fd : fds) polls.push_back({fd, POLLIN, 0});
    char buf[65536];
    for (;;) {
        timespec wait{1, 0};
        if (!held.empty()) {
            auto due = held.front().due;
            for (const Held& h : held) due = std::min(due, h.due);
            const auto left = std::max(Clock::duration::zero(), due - Clock::now());
            wait.tv_sec = std::chrono::duration_cast<std::chrono::seconds>(left).count();
            wait.tv_nsec = (left - std::chrono::seconds(wait.tv_sec)).count();
        }
        ::ppoll(polls.data(), polls.size(), &wait, nullptr);
        for (std::size_t k = 0; k < polls.size(); ++k) {
            if (!(polls[k].revents & POLLIN)) continue;
            for (ssize_t n; (n = ::read(fds[k], buf, sizeof buf)) > 0;)
                held.push_back({Clock::now() + delays[k], fds[k ^ 1],
                                std::string(buf, static_cast<std::size_t>(n))});
        }
        const auto now = Clock::now();
        for (auto h = held.begin(); h != held.end();) {
            if (h->due > now) {
                ++h;
                continue;
            }
            (void)!::write(h->to, h->packet.data(), h->packet.size());
            h = held.erase(h);
        }
    }
}

}  // namespace

std::string DelayRelay::device(std::size_t link, int side) {
    return "dl" + std::to_string(link) + (side ? "b" : "a");
}

DelayRelay::DelayRelay(NetnsLab& lab, const std::vector<DelayedLink>& links) {
    child_ = std::make_unique<NetnsChild>(lab.name(links.at(0).a),
                                          [&lab, links] { return relay(lab, links); });
    if (!child_->waitReady(10000)) {
        error_ = "relay: " + child_->result(1000).value_or(child_->why());
        return;
    }
    for (std::size_t i = 0; i < links.size(); ++i) {
        const DelayedLink& l = links[i];
        const std::string a = device(i, 0), b = device(i, 1);
        if (!lab.ip(l.a, {"addr", "add", l.addressA, "peer", l.addressB, "dev", a}) ||
            !lab.ip(l.b, {"addr", "add", l.addressB, "peer", l.addressA, "dev", b}) ||
            (!l.address6A.empty() &&
             (!lab.ip(l.a, {"addr", "add", l.address6A, "peer", l.address6B, "dev", a, "nodad"}) ||
              !lab.ip(l.b,
                      {"addr", "add", l.address6B, "peer", l.address6A, "dev", b, "nodad"}))) ||
            !lab.ip(l.a, {"link", "set", a, "up"}) || !lab.ip(l.b, {"link", "set", b, "up"})) {
            error_ = lab.error();
            return;
        }
    }
}

}  // namespace norvik::test
