#include "ConnectionService.h"

#include "ParseNumber.h"

ConnectionService::ConnectionService(const TimeZone &zone, const LocalClock &clock, const DateText &texts,
                                     Options options, QObject *parent)
    : QObject(parent), reply_(zone, texts.Locale()), log_(clock, texts), options_(std::move(options))
{
    socServer_.setObjectName(QStringLiteral("socServer"));
    connect(&socServer_, &SocketControl::ConnectionRequest, this, &ConnectionService::socServer_ConnectionRequest);
    connect(&socServer_, &SocketControl::DataArrival, this, &ConnectionService::socServer_DataArrival);
    connect(&socServer_, &SocketControl::PeerClosed, this, &ConnectionService::socServer_Close);
    connect(&socServer_, &SocketControl::ProxyHeaderRefused, this, [this] { ++stats_.refusedProxyHeader; });
}

std::optional<qint64> ConnectionService::PortFromText(const QString &text)
{
    return WholeNumberIn(ParseNumber(text), 1, 65535);
}

QString ConnectionService::LogFailureText(const QString &dataFolder, const QString &failure)
{
    return failure.isEmpty() ? QStringLiteral("the connection log in %1Logs is written again").arg(dataFolder)
                             : QStringLiteral("cannot write the connection log in %1Logs: %2").arg(dataFolder, failure);
}

void ConnectionService::ResetForStart(qint64 sinceLaunch, qint64 maxSimSinceLaunch)
{
    counters_.Start(sinceLaunch, maxSimSinceLaunch);
    slots_.ResetCount();
}

bool ConnectionService::Listen(std::optional<qint64> port)
{
    ReadRules();
    // Listening on whatever port an earlier start left would only be undone at once.
    return port && socServer_.SetLocalPort(*port) && socServer_.Listen();
}

bool ConnectionService::ListenOn(const std::vector<qintptr> &listeners)
{
    ReadRules();
    return socServer_.ListenOn(listeners);
}

void ConnectionService::ReadRules()
{
    // Every start reads the file again, so an edit counts from the next start; the
    // clients of the last run are gone, and their counts with them.
    rules_ = AccessRules::FromFile(options_.settingsFolder() + QLatin1String(AccessFileName));
    busyByAddress_.clear();
    socServer_.SetProxySources(nullptr);
    if (rules_.HasProxySources())
        socServer_.SetProxySources(
            [this](const QHostAddress &peer) { return rules_.IsProxySource(AccessRules::FromHost(peer)); });
    FollowClockRule();
}

bool ConnectionService::SetClock(const ClockStatus &status)
{
    clock_ = status;
    return FollowClockRule();
}

bool ConnectionService::FollowClockRule()
{
    const bool refusing = rules_.ClockRule() && !rules_.ClockRule()->MetBy(clock_);
    if (refusing == refusingForClock_)
        return false;
    refusingForClock_ = refusing;
    for (int i = 1; refusing && i <= slots_.SocketCount(); ++i)
        if (slots_.InUse(i))
            socServer_Close(i);
    return true;
}

void ConnectionService::ReloadRules()
{
    ReadRules();
    if (rules_.IsEmpty())
        return;
    for (int slot = 1; slot <= slots_.SocketCount(); ++slot) {
        if (!slots_.InUse(slot))
            continue;
        slotAddress_[slot] = rules_.LimitKey(AccessRules::FromHost(QHostAddress(socServer_.RemoteHostIP(slot))));
        ++busyByAddress_[slotAddress_[slot]];
    }
}

void ConnectionService::Stop()
{
    for (int i = 0; i <= slots_.SocketCount(); ++i)
        socServer_.Close(i);
    for (int i = 1; i <= slots_.SocketCount(); ++i)
        socServer_.Unload(i);
}

void ConnectionService::socServer_ConnectionRequest(int, qintptr requestID)
{
    // With all slots busy, or a client the rules turn away, the request is not taken:
    // the socket layer closes it when this handler returns, and it is neither counted
    // nor logged (a refused host must not be able to fill the disk with log lines). Behind
    // a balancer the client is the one its PROXY header names.
    if (refusingForClock_) {
        ++stats_.refusedClock;
        return;
    }
    AccessRules::Address client{}, counted{};
    if (!rules_.IsEmpty()) {
        client = AccessRules::FromHost(socServer_.PendingHostAddress(requestID));
        counted = rules_.LimitKey(client);
        if (!rules_.Allows(client, busyByAddress_.value(counted))) {
            ++(rules_.Allows(client, 0) ? stats_.refusedPerAddress : stats_.refusedByRules);
            return;
        }
    }
    const std::optional<SlotTable::Pick> pick = slots_.Take();
    if (!pick) {
        ++stats_.refusedSlotsBusy;
        return;
    }
    if (pick->isNew)
        socServer_.Load(pick->slot);
    // A request the socket layer could not take (its client already gone) leaves no client
    // whose close would free the slot; it is still counted and logged, as a failed accept is.
    if (!socServer_.Accept(pick->slot, requestID))
        slots_.Free(pick->slot);
    else if (!rules_.IsEmpty()) {
        slotAddress_[pick->slot] = counted;
        ++busyByAddress_[counted];
    }
    counters_.Count(slots_.SocketCount());
    emit Counted();
    // The address is only worth its text when the line is written.
    const int logValue = options_.logValue();
    const std::optional<QString> failure = log_.LogConnection(
        options_.dataFolder(), logValue, logValue == 1 ? socServer_.RemoteHostIP(pick->slot) : QString());
    if (failure && failure->isEmpty() == logFailing_) {
        logFailing_ = !failure->isEmpty();
        emit LogFailureChanged(*failure);
    }
}

void ConnectionService::socServer_DataArrival(int Index, qint64 bytesTotal)
{
    const QByteArray request = socServer_.GetData(Index, bytesTotal);
    const QByteArray reply = reply_.Answer(request, options_.daylightValue(), options_.tick);
    ++stats_.requests;
    stats_.replyBytes += reply.size();
    socServer_.SendData(Index, reply);
}

void ConnectionService::socServer_Close(int Index)
{
    socServer_.Close(Index);
    if (!rules_.IsEmpty() && slots_.InUse(Index)) {
        const auto it = busyByAddress_.find(slotAddress_[Index]);
        if (it != busyByAddress_.end() && --*it <= 0)
            busyByAddress_.erase(it);
    }
    slots_.Free(Index);
}
