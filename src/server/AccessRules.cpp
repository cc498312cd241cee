#include "AccessRules.h"

#include "AddressText.h"
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

// "address[/prefix]" into a network and its length in the 128-bit space.
bool ParseNetwork(QStringView text, Address &net, int &length)
{
    const qsizetype slash = text.indexOf(u'/');
    const QStringView host = slash < 0 ? text : text.left(slash);
    const bool v6 = host.contains(u':');
    if (v6) {
        const std::optional<QHostAddress> a = StrictIPv6(host);
        if (!a)
            return false;
        net = AccessRules::FromHost(*a);
    } else if (const std::optional<quint32> v4 = StrictIPv4(host)) {
        net = {0, 0xffff00000000 | *v4};
    } else {
        return false;
    }
    const int prefix = slash < 0 ? (v6 ? 128 : 32) : StrictDecimal(text.mid(slash + 1), v6 ? 128 : 32);
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

bool AccessRules::ParseLine(const QString &line)
{
    const QString rule = line.left(line.indexOf(u'#')).simplified();
    if (rule.isEmpty())
        return true;
    const QStringList words = rule.split(u' ');
    const QString keyword = words[0].toLower();
    if (keyword == u"per-address-prefix" && words.size() == 3) {
        const int v4 = StrictDecimal(words[1], 32), v6 = StrictDecimal(words[2], 128);
        if (v4 < 0 || v6 < 0)
            return false;
        v4Prefix_ = v4;
        v6Prefix_ = v6;
        return true;
    }
    if (keyword == u"require-synchronised-clock" || keyword == u"require-synchronized-clock") {
        const auto requirement = words.size() <= 2 ? ClockRequirement::FromText(words.value(1)) : std::nullopt;
        if (requirement)
            clock_ = requirement;
        return requirement.has_value();
    }
    if (words.size() != 2)
        return false;
    if (keyword == u"per-address") {
        const int count = StrictDecimal(words[1], MaxSlots);
        if (count < 1)
            return false;
        perAddress_ = count;
        return true;
    }
    const bool deny = keyword == u"deny", proxy = keyword == u"proxy-from";
    Address net;
    int length = 0;
    if ((!deny && !proxy && keyword != u"allow") || !ParseNetwork(words[1], net, length))
        return false;
    (proxy ? proxies_ : admission_).Add(length, net, deny || proxy);
    hasAllow_ |= keyword == u"allow";
    return true;
}

AccessRules AccessRules::Parse(const QString &text)
{
    AccessRules r;
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (!r.ParseLine(line))
            r.ignored_ << QStringLiteral("line %1: %2").arg(i + 1).arg(line.trimmed().left(100));
    }
    r.admission_.Build();
    r.proxies_.Build();
    return r;
}

void AccessRules::NetworkTable::Build()
{
    // By length, longest first, then network, false before true: the last of equal
    // networks carries the tie's verdict.
    std::sort(added_.begin(), added_.end(), [](const auto &a, const auto &b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    for (const auto &[length, entry] : added_) {
        if (levels_.empty() || levels_.back().length != length)
            levels_.push_back({length, MaskOf(length), {}});
        auto &networks = levels_.back().networks;
        if (!networks.empty() && networks.back().first == entry.first)
            networks.back().second = entry.second;
        else
            networks.push_back(entry);
    }
    added_ = {};
}

const bool *AccessRules::NetworkTable::Find(Address address) const
{
    for (const Level &level : levels_) {
        const Address key{address.first & level.mask.first, address.second & level.mask.second};
        const auto it = std::lower_bound(level.networks.begin(), level.networks.end(), key,
                                         [](const auto &e, const Address &k) { return e.first < k; });
        if (it != level.networks.end() && it->first == key)
            return &it->second;
    }
    return nullptr;
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
    const bool *deny = admission_.Find(client);
    return deny ? !*deny : !hasAllow_;
}

Address AccessRules::LimitKey(Address client) const
{
    const bool v4 = client.first == 0 && client.second >> 32 == 0xffff;
    const Address mask = MaskOf(v4 ? 96 + v4Prefix_ : v6Prefix_);
    return {client.first & mask.first, client.second & mask.second};
}
