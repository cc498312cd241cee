#pragma once
#include "MetricsText.h"

#include <QByteArray>

// Whether this copy can serve good time now, for a balancer's or an orchestrator's
// readiness check: empty when it can, else why not in a few words.
QByteArray NotReadyReason(const MetricsSnapshot &s);
