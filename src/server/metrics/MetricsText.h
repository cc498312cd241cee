#pragma once
#include "ClockTrust.h"
#include "ServiceStats.h"

#include <QByteArray>

class ConnectionService;

// What the metrics endpoint reports, read from the service at the moment of a scrape.
struct MetricsSnapshot
{
    ServiceStats stats;
    qint64 connections = 0; // taken since the program started
    int busySlots = 0;
    int peakSinceStart = 0;
    bool listening = false;
    ClockStatus clock;
    bool refusingForClock = false; // Access.txt requires a clock this one is not
    bool stopping = false;         // stopped, its last clients' replies still leaving

    static MetricsSnapshot Of(const ConnectionService &service);
};

// The snapshot in Prometheus's text exposition format (version 0.0.4).
QByteArray RenderMetrics(const MetricsSnapshot &s);

inline constexpr const char *MetricsContentType = "text/plain; version=0.0.4; charset=utf-8";
