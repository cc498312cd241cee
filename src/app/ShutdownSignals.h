#pragma once
#include <QObject>

// Turns the system's requests to end the program (SIGTERM, SIGINT, SIGHUP here) into a
// signal on the GUI thread, so that they close the main window like its close box does.
class ShutdownSignals : public QObject
{
    Q_OBJECT
public:
    explicit ShutdownSignals(QObject *parent = nullptr);
    ~ShutdownSignals() override;

signals:
    void Requested();

private:
    struct Private;
    Private *d;
};
