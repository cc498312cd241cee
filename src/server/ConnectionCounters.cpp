#include "ConnectionCounters.h"

void ConnectionCounters::Start(qint64 sinceLaunch, qint64 maxSimSinceLaunch)
{
    sinceLaunch_ = sinceLaunch;
    maxSimSinceLaunch_ = maxSimSinceLaunch;
    sinceStart_ = 0;
    maxSimSinceStart_ = 0;
}

void ConnectionCounters::Count(int socketCount)
{
    ++sinceLaunch_;
    ++sinceStart_;
    maxSimSinceStart_ = socketCount;
    if (maxSimSinceStart_ > maxSimSinceLaunch_)
        maxSimSinceLaunch_ = maxSimSinceStart_;
}
