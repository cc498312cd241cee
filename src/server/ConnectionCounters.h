#pragma once
#include <QtGlobal>

// The four connection counters: connections since the program started and since the
// server started, and the most simultaneous connections over the same two spans. The
// window shows them in its boxes; keeping the numbers here lets it redraw the boxes once
// per burst of connections rather than at every one.
class ConnectionCounters
{
public:
    // The values the boxes showed when the server starts; the since-start pair restarts.
    void Start(qint64 sinceLaunch, qint64 maxSimSinceLaunch);
    // One connection request handled, with the slot count it left behind (the peak of
    // simultaneous connections since the start).
    void Count(int socketCount);

    qint64 SinceLaunch() const { return sinceLaunch_; }
    qint64 SinceStart() const { return sinceStart_; }
    qint64 MaxSimSinceLaunch() const { return maxSimSinceLaunch_; }
    qint64 MaxSimSinceStart() const { return maxSimSinceStart_; }

private:
    qint64 sinceLaunch_ = 0;
    qint64 sinceStart_ = 0;
    qint64 maxSimSinceLaunch_ = 0;
    qint64 maxSimSinceStart_ = 0;
};
