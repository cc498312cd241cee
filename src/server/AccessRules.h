#pragma once
#include "ClockTrust.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

// Who may take a slot, read from the operator's rules file (Access.txt beside the
// program). One rule a line, "#" starts a comment, keywords in any case:
//   allow NETWORK     deny NETWORK     per-address COUNT
//   per-address-prefix IPV4-LENGTH IPV6-LENGTH     proxy-from NETWORK
// NETWORK is an IPv4 or IPv6 address, optionally "/prefix" (an address alone is the one
// host); its host bits must be zero. The most specific network that holds the client
// decides; at equal length deny wins, so the order of lines never matters. A client no
// network holds is allowed only when the file has no allow line. COUNT (1..255) bounds
// the slots one client holds at once; the last such line counts. Clients are told apart
// by the first IPV4-LENGTH (0..32, default 32: the whole address) or IPV6-LENGTH (0..128,
// default 64) bits of their address: one IPv6 host owns a whole /64 and could otherwise
// take every slot with addresses of its own. IPv4 clients on the dual-stack socket
// (::ffff:a.b.c.d) are matched and counted as IPv4. Connections from a proxy-from network
// (a load balancer) must begin with a PROXY header, and the client it names is the one
// these rules judge. "require-synchronised-clock [BOUND]" refuses every client while the
// system clock does not meet it (see ClockRequirement); the last such line counts.
class AccessRules
{
public:
    // 128 bits, IPv4 as ::ffff:a.b.c.d, so that one table serves both protocols.
    using Address = std::pair<quint64, quint64>;
    static Address FromHost(const QHostAddress &host);

    // A line that is not a rule is left out and listed as "line N: text".
    static AccessRules Parse(const QString &text);
    // No file: no rules. A file that is there but cannot be read is reported like a bad
    // line and refuses every client: rules the operator wrote must not fail open.
    static AccessRules FromFile(const QString &path);

    // No rule and no limit: every client may take a slot without any look-up.
    bool IsEmpty() const { return admission_.IsEmpty() && perAddress_ == 0 && !refuseAll_; }
    // busySlots: the slots the client holds now, counted by LimitKey.
    bool Allows(Address client, int busySlots) const;
    // The client as the per-address limit counts it: its address cut to its protocol's
    // prefix length.
    Address LimitKey(Address client) const;
    bool HasProxySources() const { return !proxies_.IsEmpty(); }
    bool IsProxySource(Address peer) const { return proxies_.Find(peer) != nullptr; }
    const QStringList &IgnoredLines() const { return ignored_; }
    const std::optional<ClockRequirement> &ClockRule() const { return clock_; }

private:
    // Networks by prefix length, each with a verdict: the most specific network that holds
    // an address gives it, and of equal networks the one whose verdict is true.
    class NetworkTable
    {
    public:
        void Add(int length, Address network, bool verdict) { added_.push_back({length, {network, verdict}}); }
        void Build();
        const bool *Find(Address address) const; // null when no network holds it
        bool IsEmpty() const { return levels_.empty(); }

    private:
        struct Level
        {
            int length;
            Address mask;
            std::vector<std::pair<Address, bool>> networks; // sorted
        };
        std::vector<std::pair<int, std::pair<Address, bool>>> added_; // until Build
        std::vector<Level> levels_;                                   // longest prefix first
    };
    bool ParseLine(const QString &line);

    NetworkTable admission_; // verdict: deny
    NetworkTable proxies_;
    bool hasAllow_ = false;
    bool refuseAll_ = false; // the file could not be read
    int perAddress_ = 0;     // 0: no limit
    int v4Prefix_ = 32;
    int v6Prefix_ = 64;
    std::optional<ClockRequirement> clock_;
    QStringList ignored_;
};
