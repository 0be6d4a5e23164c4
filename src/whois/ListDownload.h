#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/TcpClient.h"
#include "platform/Timer.h"
#include "whois/Exchange.h"
#include "whois/ServerList.h"

namespace norvik::whois {

// The status texts of the update window.
inline constexpr char kListReady[] = "Ready";
inline constexpr char kListConnecting[] = "Connecting...";
inline constexpr char kListRetrieving[] = "Retrieving...";
inline constexpr char kListDone[] = "Done";
inline constexpr char kListTimedOut[] = "Timed Out. The server is currently unavailable";
inline constexpr int kListTimerMs = 10000;

// What a download shows. The update window implements it with its
// controls, norvik-cli with plain fields.
class ListView {
  public:
    virtual ~ListView() = default;

    virtual void setStatusText(const std::string& text) = 0;
    virtual void emptyList() = 0;  // List1
    // Empties the filter box and fills it with these entries, in order.
    virtual void fillFilter(const std::vector<std::string>& entries) = 0;
    // Selects " All servers" in the filter when it is there, which runs the
    // filter and fills the list.
    virtual void pickAllServers() = 0;
};

// Where a download gets its list.
struct ListSource {
    // The list host, asked at every "Download Now". Empty: the built-in
    // list is read instead.
    std::function<std::string()> host;
    std::uint16_t port = kListPort;
    std::function<std::string()> builtIn = BuiltInServerList;
};

// The list download of the update window: "Download Now", the events of its
// TCP client and the ticks of its timer. It runs on the UI thread and never
// waits: each handler does its step and returns. The timer runs from the
// start with a 10-second period; the exchange ends the download (see
// Exchange), a time-out with "Timed Out...", every other end as if the host
// had closed.
class ListDownload {
  public:
    ListDownload(platform::TcpClient& winsock, platform::Timer& timer, ListView& view,
                 ListSource source);
    ListDownload(const ListDownload&) = delete;
    ListDownload& operator=(const ListDownload&) = delete;

    // "Download Now".
    void start();
    // The window closes.
    void stop();

    // The last completed download.
    const ServerList& serverEntries() const { return list_; }
    // True when the last completed download was cut at kListCap.
    bool cut() const { return cut_; }

  private:
    void readBuiltInList();
    void ended(Exchange::End how);
    // The end of a download: parse what arrived, pick " All servers", "Done".
    void finish(const std::string& text, bool cut);

    platform::Timer& timer_;
    ListView& view_;
    ListSource source_;
    Exchange exchange_;
    ServerList list_;
    bool cut_ = false;
};

}  // namespace norvik::whois
