#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "whois/ListDownload.h"

namespace norvik::whois {

// A list view without widgets: the status line, the filter and the list are
// fields. norvik-cli and the tests run downloads through it.
class MemoryListView : public ListView {
  public:
    std::string status = kListReady;
    std::vector<std::string> filter, lines;
    const ListDownload* download = nullptr;  // whose entries " All servers" lists

    std::string statusText() const { return status; }
    void setStatusText(const std::string& text) override { status = text; }
    void emptyList() override { lines.clear(); }
    void fillFilter(const std::vector<std::string>& entries) override { filter = entries; }
    void pickAllServers() override {
        if (std::find(filter.begin(), filter.end(), kAllServers) == filter.end()) return;
        lines = ListLines(download->serverEntries(), kAllServers);
    }
};

}  // namespace norvik::whois
