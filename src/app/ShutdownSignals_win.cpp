#include "ShutdownSignals.h"

// Windows ends a session through the session manager, which QGuiApplication reports.
struct ShutdownSignals::Private
{
};

ShutdownSignals::ShutdownSignals(QObject *parent) : QObject(parent), d(new Private) {}

ShutdownSignals::~ShutdownSignals()
{
    delete d;
}
