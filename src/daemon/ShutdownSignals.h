#pragma once
#include <QObject>

// Turns the system's requests to end the program (SIGTERM, SIGINT here) into a signal on
// the GUI thread, so that they close the main window like its close box does; an
// operator's request for the server's status (SIGUSR1) into another; and a hang-up or
// request to reload (SIGHUP) into a third, which the window takes as a request to end.
// One instance at a time owns the signals; one made while another lives says nothing.
class ShutdownSignals : public QObject
{
    Q_OBJECT
public:
    explicit ShutdownSignals(QObject *parent = nullptr);
    ~ShutdownSignals() override;

    // Standard error may be a pipe whose reader has gone (a journal or tee that ended): a
    // line that cannot be written is then lost, never the end of the program. First thing.
    static void IgnoreClosedPipes();

signals:
    void Requested();
    void StatusRequested();
    void ReloadRequested();

private:
    struct Private;
    Private *d;
};
