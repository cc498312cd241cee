#pragma once
#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

// Who may take a slot, read from the operator's rules file (Access.txt beside the
// program). One rule a line, "#" starts a comment, keywords in any case:
//   allow NETWORK     deny NETWORK     per-address COUNT
// NETWORK is an IPv4 or IPv6 address, optionally "/prefix" (an address alone is the one
// host); its host bits must be zero. The most specific network that holds the client
// decides; at equal length deny wins, so the order of lines never matters. A client no
// network holds is allowed only when the file has no allow line. COUNT (1..255) bounds
// the slots one client address holds at once; the last such line counts. IPv4 clients
// on the dual-stack socket (::ffff:a.b.c.d) are matched by IPv4 rules.
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
    bool IsEmpty() const { return levels_.empty() && perAddress_ == 0 && !refuseAll_; }
    // busySlots: the slots the client's address holds now.
    bool Allows(Address client, int busySlots) const;
    const QStringList &IgnoredLines() const { return ignored_; }

private:
    // The networks of one prefix length, sorted, each with its verdict.
    struct Level
    {
        int length;
        Address mask;
        std::vector<std::pair<Address, bool>> networks; // (network, deny)
    };
    bool ParseLine(const QString &line, std::vector<std::pair<int, std::pair<Address, bool>>> &rules);

    std::vector<Level> levels_; // longest prefix first
    bool hasAllow_ = false;
    bool refuseAll_ = false; // the file could not be read
    int perAddress_ = 0;     // 0: no limit
    QStringList ignored_;
};
