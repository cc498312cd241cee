#pragma once
#include "DateText.h"
#include "LocalClock.h"

#include <QString>

#include <optional>

// One line per connection request in the day's file Logs/yyyymmdd.log of the data
// folder: "[" + local time + "] " + client address + CR LF. The file is opened and closed
// for every line so other programs may read, move or delete it in between.
class ConnectionLog
{
public:
    // clock must outlive this object.
    ConnectionLog(const LocalClock &clock, const DateText &texts);

    // dataFolder ends with "/". Logs is created on every call, whatever the box says;
    // only a box value of exactly 1 writes a line, making the data folder first when it is
    // missing. Every failure is skipped: the result is nullopt when no line was asked for,
    // an empty text when it was written, and why not when it could not be.
    std::optional<QString> LogConnection(const QString &dataFolder, int chkLogValue, const QString &remoteIP) const;

private:
    const LocalClock &clock_;
    DateText texts_;
};
