#pragma once

#include <array>
#include <functional>

#include "ping/PingRun.h"

namespace norvik::ping {

// A ping view without widgets: every control is a field. norvik-cli runs
// the ping through it, printing as passes end.
class MemoryPingView : public PingView {
  public:
    std::string address, count = "1", payload;
    std::vector<std::string> items;
    std::string resolved, todo = "12", done = "12", percent = "100%";
    float progress = 0;
    std::array<std::string, 6> fields;
    StatusLook look = StatusLook::Failure;
    std::string statusCaption = "Ready...";
    bool statusShown = false;
    std::string reportText, reportAverage = "0ms", reportTimeouts = "0";
    int reportShows = 0;
    bool pingEnabled = true, windowEnabled = true, ended = false;
    std::string panel;  // "progress" or "reply"
    platform::Waiter wait = platform::pollWaiter;
    std::function<void(int)> onPass;
    bool endless = false;        // "Until stopped"
    std::function<bool()> stop;  // asked as the Stop button is

    std::string addressText() override { return address; }
    std::vector<std::string> addressItems() override { return items; }
    void appendAddressItem(const std::string& a) override { items.push_back(a); }
    std::string countText() override { return count; }
    std::string payloadText() override { return payload; }
    void ShowProgressHeading() override { panel = "heading"; }
    void ShowProgressCounters() override { panel = "progress"; }
    void ShowReturnedData() override { panel = "reply"; }
    void setPingEnabled(bool e) override { pingEnabled = e; }
    void setWindowEnabled(bool e) override { windowEnabled = e; }
    void setStatus(StatusLook l, const std::string& c) override {
        look = l;
        statusCaption = c;
    }
    bool statusInProgress() override { return look == StatusLook::InProgress; }
    void showStatusArea() override { statusShown = true; }
    void repaintStatus() override {}
    void setTodo(const std::string& t) override { todo = t; }
    void setDone(const std::string& t) override { done = t; }
    void setPercent(const std::string& t) override { percent = t; }
    void setProgress(float p) override { progress = p; }
    void repaintCounters() override {}
    std::string resolvedText() override { return resolved; }
    void setResolvedText(const std::string& t) override { resolved = t; }
    std::string replyField(int i) override { return fields.at(static_cast<std::size_t>(i)); }
    void setReplyField(int i, const std::string& t) override {
        fields.at(static_cast<std::size_t>(i)) = t;
    }
    void setReport(const std::string& t, const std::string& a, const std::string& o) override {
        reportText = t;
        reportAverage = a;
        reportTimeouts = o;
    }
    void showReport() override { ++reportShows; }
    platform::Waiter waiter() override { return wait; }
    void passEnded(int pass) override {
        if (onPass) onPass(pass);
    }
    void endProgram() override { ended = true; }
    bool untilStopped() override { return endless; }
    bool stopRequested() override { return stop && stop(); }
};

}  // namespace norvik::ping
