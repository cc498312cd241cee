#pragma once
#include "ClockTick.h"
#include "ClockTrust.h"
#include "ConnectionService.h"
#include "DateText.h"
#include "FileLocations.h"
#include "ListenAddress.h"
#include "MetricsEndpoint.h"
#include "SettingsFile.h"
#include "SocketActivation.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>

// The time server without a window, for machines without a desktop: the same service,
// slots, counters, reply and log as the window, on the options of Server.ini in its
// settings folder, which it reads and never writes. The server starts at once; the clock tick runs
// as in the window, so the daylight option follows a clock change the same way. It
// reports in one line per event on standard error, for the service manager's journal.
class HeadlessServer : public QObject
{
    Q_OBJECT
public:
    explicit HeadlessServer(const FileLocations &files, QObject *parent = nullptr);

    // Reads Server.ini and listens, on the sockets a service manager handed over if it did
    // (the port in Server.ini is then not used), else on that port; serves metrics when
    // asked. False (after saying why) when the port, the sockets or the metrics address
    // cannot be used.
    bool Start(const HandedSockets &handed, const std::optional<ListenAddress> &metrics);
    void Stop();
    bool Stopped() const { return stopped_; }
    const ConnectionService &Service() const { return service_; }
    // The four counters and the busy slots with their clients.
    void ReportStatus() const;
    // Access.txt again: clients being served stay, new ones meet the new rules.
    void ReloadAccessRules();

private:
    bool Listen(const HandedSockets &handed);
    void Tick();
    // The clock's trust, read on the tick: one line at the start and at each change.
    void FollowClock();
    void SayClock(bool again) const;
    void SayIgnoredRuleLines();

    const FileLocations files_;
    const TimeZone zone_;
    const SystemLocalClock clock_;
    const DateText texts_;
    Settings settings_;
    int daylight_ = 0; // the daylight option, as the tick leaves it
    ClockTick tick_;
    ClockTrust trust_;
    bool clockSaid_ = false;
    ConnectionService service_;
    QTimer ticker_;
    std::unique_ptr<MetricsEndpoint> metrics_;
    bool stopped_ = false;
};
