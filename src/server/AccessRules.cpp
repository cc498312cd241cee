#include "AccessRules.h"

#include "ServerLimits.h"

#include <QFile>

#include <algorithm>

namespace {

using Address = AccessRules::Address;

Address MaskOf(int length)
{
    const auto bits = [](int n) { return n <= 0 ? 0 : n >= 64 ? ~quint64(0) : ~quint64(0) << (64 - n); };
    return {bits(length), bits(length - 64)};
}

// Digits only, no sign and no leading zero, so that "010" or "+8" is never read as
// something the operator did not write.
int Decimal(QStringView text, int max)
{
    if (text.isEmpty() || text.size() > 3 || (text.size() > 1 && text[0] == u'0'))
        return -1;
    int value = 0;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c.unicode() - '0');
    }
    return value <= max ? value : -1;
}

// Four dotted decimals only: QHostAddress would also take "10" or "127.1".
bool ParseV4(QStringView text, Address &out)
{
    const QList<QStringView> parts = text.split(u'.');
    if (parts.size() != 4)
        return false;
    quint64 v4 = 0;
    for (QStringView part : parts) {
        const int byte = Decimal(part, 255);
        if (byte < 0)
            return false;
        v4 = v4 << 8 | quint64(byte);
    }
    out = {0, 0xffff00000000 | v4};
    return true;
}

// "address[/prefix]" into a network and its length in the 128-bit space.
bool ParseNetwork(QStringView text, Address &net, int &length)
{
    const qsizetype slash = text.indexOf(u'/');
    const QStringView host = slash < 0 ? text : text.left(slash);
    const bool v6 = host.contains(u':');
    if (v6) {
        QHostAddress a;
        if (host.contains(u'%') || !a.setAddress(host.toString()))
            return false;
        net = AccessRules::FromHost(a);
    } else if (!ParseV4(host, net)) {
        return false;
    }
    const int prefix = slash < 0 ? (v6 ? 128 : 32) : Decimal(text.mid(slash + 1), v6 ? 128 : 32);
    if (prefix < 0)
        return false;
    length = v6 ? prefix : prefix + 96;
    const Address mask = MaskOf(length);
    return (net.first & ~mask.first) == 0 && (net.second & ~mask.second) == 0;
}

} // namespace

Address AccessRules::FromHost(const QHostAddress &host)
{
    // An IPv4 address is held as ::ffff:a.b.c.d here too.
    const Q_IPV6ADDR a = host.toIPv6Address();
    quint64 hi = 0, lo = 0;
    for (int i = 0; i < 8; ++i) {
        hi = hi << 8 | a[i];
        lo = lo << 8 | a[i + 8];
    }
    return {hi, lo};
}

bool AccessRules::ParseLine(const QString &line, std::vector<std::pair<int, std::pair<Address, bool>>> &rules)
{
    const QString rule = line.left(line.indexOf(u'#')).simplified();
    if (rule.isEmpty())
        return true;
    const QStringList words = rule.split(u' ');
    if (words.size() != 2)
        return false;
    const QString keyword = words[0].toLower();
    if (keyword == u"per-address") {
        const int count = Decimal(words[1], MaxSlots);
        if (count < 1)
            return false;
        perAddress_ = count;
        return true;
    }
    const bool deny = keyword == u"deny";
    Address net;
    int length = 0;
    if ((!deny && keyword != u"allow") || !ParseNetwork(words[1], net, length))
        return false;
    rules.push_back({length, {net, deny}});
    hasAllow_ |= !deny;
    return true;
}

AccessRules AccessRules::Parse(const QString &text)
{
    AccessRules r;
    std::vector<std::pair<int, std::pair<Address, bool>>> rules;
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (!r.ParseLine(line, rules))
            r.ignored_ << QStringLiteral("line %1: %2").arg(i + 1).arg(line.trimmed().left(100));
    }
    // By length, longest first, then network, deny after allow: the last of equal
    // networks carries the tie's verdict.
    std::sort(rules.begin(), rules.end(), [](const auto &a, const auto &b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    for (const auto &[length, entry] : rules) {
        if (r.levels_.empty() || r.levels_.back().length != length)
            r.levels_.push_back({length, MaskOf(length), {}});
        auto &networks = r.levels_.back().networks;
        if (!networks.empty() && networks.back().first == entry.first)
            networks.back().second = entry.second;
        else
            networks.push_back(entry);
    }
    return r;
}

AccessRules AccessRules::FromFile(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly)) {
        AccessRules r;
        r.ignored_ << QStringLiteral("%1: cannot be read, every client is refused").arg(path);
        r.refuseAll_ = true;
        return r;
    }
    return Parse(QString::fromUtf8(file.readAll()));
}

bool AccessRules::Allows(Address client, int busySlots) const
{
    if (refuseAll_ || (perAddress_ && busySlots >= perAddress_))
        return false;
    for (const Level &level : levels_) {
        const Address key{client.first & level.mask.first, client.second & level.mask.second};
        const auto it = std::lower_bound(level.networks.begin(), level.networks.end(), key,
                                         [](const auto &e, const Address &k) { return e.first < k; });
        if (it != level.networks.end() && it->first == key)
            return !it->second;
    }
    return !hasAllow_;
}
