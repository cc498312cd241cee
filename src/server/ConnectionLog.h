#pragma once
#include "DateText.h"
#include "LocalClock.h"

#include <QString>

// One line per connection request in the day's file Logs/yyyymmdd.log of the data
// folder: "[" + local time + "] " + client address + CR LF. The file is opened and closed
// for every line so other programs may read, move or delete it in between.
class ConnectionLog
{
public:
    // clock must outlive this object.
    ConnectionLog(const LocalClock &clock, const DateText &texts);

    // dataFolder ends with "/". Logs is created on every call, whatever the box says;
    // only a box value of exactly 1 writes a line. Every failure is skipped silently.
    void LogConnection(const QString &dataFolder, int chkLogValue, const QString &remoteIP) const;

private:
    const LocalClock &clock_;
    DateText texts_;
};
