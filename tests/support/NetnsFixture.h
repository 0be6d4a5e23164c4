#pragma once

#include <gtest/gtest.h>

#include "Netns.h"

namespace norvik::test {

// A test across a namespace lab: routedLab() unless topology() says
// otherwise. Skips, saying why, where namespaces cannot be built.
template <class Base = ::testing::Test>
class NetnsFixture : public Base {
  protected:
    virtual Topology topology() { return routedLab(); }
    void SetUp() override {
        const std::string why = NetnsLab::unavailableReason();
        if (!why.empty()) GTEST_SKIP() << "needs network namespaces: " << why;
        ASSERT_TRUE(lab_.build(topology())) << lab_.error();
    }
    NetnsLab lab_;
};

}  // namespace norvik::test
