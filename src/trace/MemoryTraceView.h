#pragma once

#include <functional>

#include "trace/TraceView.h"

namespace norvik::trace {

// A trace view without widgets: every control is a field. norvik-cli
// traces through it, printing the results as they grow.
class MemoryTraceView : public TraceView {
  public:
    std::string destination, packetSize = "32", results, destinationField, status;
    std::vector<std::string> items;
    bool names = false, traceEnabled = true, inputBlocked = false, ending = false;
    int eventsLetThrough = 0;
    platform::Waiter wait = platform::pollWaiter;
    // Called after the results box changed, and when events are let through.
    std::function<void()> onResults, onEvents;

    std::string destinationText() override { return destination; }
    std::vector<std::string> destinationItems() override { return items; }
    void appendDestinationItem(const std::string& a) override { items.push_back(a); }
    std::string packetSizeText() override { return packetSize; }
    void setPacketSizeText(const std::string& t) override { packetSize = t; }
    bool namesWanted() override { return names; }
    void setResults(const std::string& t) override {
        results = t;
        if (onResults) onResults();
    }
    void appendResults(const std::string& t) override {
        results += t;
        if (onResults) onResults();
    }
    void setDestinationField(const std::string& t) override { destinationField = t; }
    void setStatus(const std::string& c) override { status = c; }
    void setTraceEnabled(bool e) override { traceEnabled = e; }
    void setInputBlocked(bool b) override { inputBlocked = b; }
    platform::Waiter waiter() override { return wait; }
    void letEventsThrough() override {
        ++eventsLetThrough;
        if (onEvents) onEvents();
    }
    bool endRequested() override { return ending; }
};

}  // namespace norvik::trace
