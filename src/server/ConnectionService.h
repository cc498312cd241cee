#pragma once
#include "AccessRules.h"
#include "ConnectionCounters.h"
#include "ConnectionLog.h"
#include "ServiceStats.h"
#include "SlotTable.h"
#include "SocketControl.h"
#include "TimeReply.h"

#include <QHash>
#include <QObject>
#include <array>
#include <functional>
#include <optional>

// The time server without a window: the socket array, the slot table, the counters, the
// connection log and the reply, wired together. Whoever owns it (the main window, the
// window-less mode, a test) decides the options; the service asks for them at the
// moment of use, so a box the operator clicks counts from the very next request.
class ConnectionService : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        std::function<int()> daylightValue;      // the daylight box: 0, 1 or 2
        std::function<int()> logValue;           // the log box: only 1 writes a line
        std::function<QString()> settingsFolder; // ends with "/"; AccessFileName is read there
        std::function<QString()> dataFolder;     // ends with "/"; Logs goes there
        // The owner's clock tick, which the daylight box is read with (TimeReply::Answer).
        const ClockTick *tick = nullptr;
    };

    // zone, clock and texts must outlive the service.
    ConnectionService(const TimeZone &zone, const LocalClock &clock, const DateText &texts, Options options,
                      QObject *parent = nullptr);

    // The port an operator's text stands for: its leading number, halves to even, within
    // 1..65535. Port 0 is refused: the system would pick one nobody asked for.
    static std::optional<qint64> PortFromText(const QString &text);

    // A start in two steps, as the window's start sequence puts them: the since-start
    // counters and the slot count begin again (from the launch totals the window shows),
    // then the access rules are read again from the settings folder's AccessFileName and
    // the listener opens. Listen is false when the port is missing or refused.
    void ResetForStart(qint64 sinceLaunch, qint64 maxSimSinceLaunch);
    bool Listen(std::optional<qint64> port);
    // The second step on sockets a service manager opened instead of a port of its own;
    // see SocketControl::ListenOn.
    bool ListenOn(const std::vector<qintptr> &listeners);
    // The rules file again while serving: the clients being served stay and count toward
    // the per-address limit as the new rules count them; new connections meet the new rules.
    void ReloadRules();
    // Closes every element from the listener to the slot count, busy or free (their
    // clients get no close notification), then unloads the slots. Counts stay.
    void Stop();

    SocketControl &socServer() { return socServer_; }
    const SocketControl &socServer() const { return socServer_; }
    const SlotTable &Slots() const { return slots_; }
    const ConnectionCounters &Counters() const { return counters_; }
    const ServiceStats &Stats() const { return stats_; }
    // After Stop: connections still ending; see SocketControl::Draining.
    bool Draining() const { return socServer_.Draining(); }
    // The rules file's lines the last start left out, as "line N: text", for the
    // operator to see; empty without a file.
    QStringList IgnoredRuleLines() const { return rules_.IgnoredLines(); }

    // The clock's state as its owner's tick last read it. While the rules require a
    // synchronised clock that this one is not, new clients are refused and busy slots let
    // go, so that their clients reconnect elsewhere; serving resumes when the clock meets
    // the rule again. True when refusing started or ended.
    bool SetClock(const ClockStatus &status);
    const ClockStatus &Clock() const { return clock_; }
    // The clock rule that is not met now, else null.
    const ClockRequirement *UnmetClockRule() const { return refusingForClock_ ? &*rules_.ClockRule() : nullptr; }

    static constexpr const char *AccessFileName = "Access.txt";
    // LogFailureChanged's news as the owner tells the operator.
    static QString LogFailureText(const QString &dataFolder, const QString &failure);

signals:
    // A connection was counted; Counters() holds the new values.
    void Counted();
    // The connection log could not be written (why, with the file), or after that could be
    // again (an empty text): once for each change, never once per connection.
    void LogFailureChanged(const QString &failure);

private:
    void ReadRules();
    bool FollowClockRule();
    void socServer_ConnectionRequest(int Index, qintptr requestID);
    void socServer_DataArrival(int Index, qint64 bytesTotal);
    void socServer_Close(int Index);

    SocketControl socServer_;
    SlotTable slots_;
    ConnectionCounters counters_;
    ServiceStats stats_;
    TimeReply reply_;
    ConnectionLog log_;
    Options options_;
    AccessRules rules_;
    bool logFailing_ = false;
    ClockStatus clock_;
    bool refusingForClock_ = false;
    // Kept only under rules: each busy slot's client and the busy slots of each client, as
    // the per-address limit counts them (AccessRules::LimitKey).
    std::array<AccessRules::Address, MaxSlots + 1> slotAddress_{};
    QHash<AccessRules::Address, int> busyByAddress_;
};
