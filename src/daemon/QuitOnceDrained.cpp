#include "QuitOnceDrained.h"

#include "ConnectionService.h"

#include <QCoreApplication>
#include <QTimer>

void QuitOnceDrained(const ConnectionService &service)
{
    if (!service.Draining()) {
        QCoreApplication::quit();
        return;
    }
    // Only while the program ends, and the layer's own deadline bounds it.
    auto *check = new QTimer(QCoreApplication::instance());
    check->setInterval(20);
    QObject::connect(check, &QTimer::timeout, check, [check, &service] {
        if (service.Draining())
            return;
        check->deleteLater();
        QCoreApplication::quit();
    });
    check->start();
}
