#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "whois/WhoisText.h"

namespace norvik::store {
class Registry;
}

namespace norvik::whois {

// The filter entry that shows every server. Its leading blank sorts it ahead
// of every country code that begins with a letter or a digit.
inline constexpr char kAllServers[] = " All servers";

// What a list download sends, and where.
inline constexpr char kListRequest[] = "whois-servers\r\n";
inline constexpr int kListPort = 43;

// The most of an answer a download keeps; past it the connection is closed
// and what arrived is parsed.
inline constexpr std::size_t kListCap = kAnswerCap;

// The most text a parse keeps in its entries (countries and servers, in
// bytes); the lines after the one that would pass it are not read. Each
// entry holds its country's text, so one long "C=" line followed by many
// short lines would otherwise take far more memory than the answer.
inline constexpr std::size_t kListTextCap = 4 * kListCap;

// Where the directory lives.
inline constexpr char kServersKey[] = "HKEY_LOCAL_MACHINE\\Software\\Tarnwell\\Norvik\\Servers";
inline constexpr char kServersSubPath[] = "Software\\Tarnwell\\Norvik\\Servers";
// The stored list host, a value of the Norvik key. Absent or empty: the
// built-in list is used instead of a download.
inline constexpr char kListHostValue[] = "Whois List Host";

// One server of a downloaded list.
struct ServerEntry {
    std::string Country;  // the country code in force for the line
    std::string Server;   // the line up to and including its first blank

    bool operator==(const ServerEntry&) const = default;
};

// What one answer yields.
struct ServerList {
    std::vector<ServerEntry> serverEntries;  // in the order of their lines
    // The filter entries the parse adds after " All servers", in the order
    // met: one per code, letter case ignored (the first spelling met wins).
    std::vector<std::string> countries;
};

// Cuts an answer into CR LF lines and turns each line that names a server
// into an entry. Only lines that a CR LF ends count; a line is skipped when
// it starts with ";" or holds no "."; "C=" sets the country for it and the
// lines after it. Bytes that are valid UTF-8 are read as UTF-8, else one
// character per byte (Latin-1); the texts come back as UTF-8. The parse
// stops at kListTextCap.
ServerList ParseServerList(std::string_view answer);

// The form texts are compared by when letter case is ignored.
std::string FoldCase(std::string_view text);

// Texts compared ignoring letter case, exactly otherwise: the filter's
// CountryListed.
class FoldedSet {
  public:
    // False when an equal text (ignoring case) was there already.
    bool insert(std::string_view text) { return set_.insert(FoldCase(text)).second; }
    bool contains(std::string_view text) const { return set_.count(FoldCase(text)) > 0; }

  private:
    std::unordered_set<std::string> set_;
};

// Alphabetical order ignoring letter case; texts that differ only in case
// keep the order they came in.
void SortIgnoringCase(std::vector<std::string>& texts);

// The filter's entries: " All servers" and the parse's countries, sorted.
std::vector<std::string> FilterEntries(const ServerList& list);

// The lines the list shows for a pick of the filter (" All servers": every
// entry; else the entries of exactly that code), each the country, a tab and
// the server, sorted.
std::vector<std::string> ListLines(const ServerList& list, const std::string& pick);

// True when the text can name a country key of the directory.
bool StorableCountry(std::string_view country);

// "Add All": replaces the stored directory by one key per filter entry
// (" All servers" and the names that cannot be a key skipped), each holding
// the servers of the shown lines that begin with its code and a tab, in line
// order. Codes equal ignoring letter case are one key, named as the first of
// them, holding the servers of all their lines. One store batch: the old directory or the new one,
// never a mix. Returns the number of countries stored.
std::size_t StoreDirectory(store::Registry& reg, const std::vector<std::string>& filter,
                           const std::vector<std::string>& lines);

// The stored list host; empty when none is stored.
std::string StoredListHost(store::Registry& reg);

// The built-in list, in the answer format the parse reads.
std::string BuiltInServerList();

}  // namespace norvik::whois
