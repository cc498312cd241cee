#pragma once
// Raw non-blocking sockets behind one epoll descriptor, which a single QSocketNotifier
// watches. Each readiness pass asks epoll for everything that is ready, so the event loop
// sees one descriptor however many clients there are, and a reply normally leaves in the
// same pass with one send().
#include "ServerLimits.h"
#include "SocketEngine.h"

#include <QDeadlineTimer>
#include <QTimer>

#include <array>
#include <sys/socket.h>
#include <vector>

class QSocketNotifier;

class EpollEngine : public SocketEngine
{
public:
    explicit EpollEngine(SocketControl &owner);
    ~EpollEngine() override;

    bool Listen(quint16 port) override;
    bool Adopt(const std::vector<qintptr> &listeners) override;
    void StopListening() override;
    quint16 BoundPort() const override;
    bool DualStack() const override;
    bool Accept(int slot, qintptr requestID) override;
    QHostAddress PendingPeer(qintptr requestID) const override;
    QByteArray Read(int slot, qint64 maxLen) override;
    QByteArray Peek(int slot) const override;
    bool Move(int from, int to) override;
    bool Send(int slot, const QByteArray &data) override;
    void CloseSlot(int slot) override;
    QString PeerAddress(int slot) const override;
    qint64 QueuedOutput(int slot) const override;
    qint64 BufferedBytes() const override;

private:
    struct Conn
    {
        int fd = -1;
        quint32 gen = 0;
        int slot = 0; // its element; 0 once detached from it and draining
        QByteArray in;
        QByteArray out;
        qsizetype outPos = 0;  // bytes of out already sent
        quint32 events = 0;    // current epoll interest; 0 = not registered
        bool peerEof = false;  // the client shut its sending side
        bool failed = false;   // descriptor gone after an error, slot awaits Close
        bool notified = false; // PeerClosed raised for this connection
        bool closing = false;
        bool shutSent = false;
        QDeadlineTimer closeDeadline;
        sockaddr_storage peer{};
        socklen_t peerLen = 0;

        qsizetype Unsent() const { return out.size() - outPos; }
    };
    struct Pending
    {
        int fd = -1;
        sockaddr_storage peer{};
        socklen_t peerLen = 0;
    };

    static quint64 KeyOf(int fd, quint32 gen) { return (quint64(gen) << 32) | quint32(fd); }

    // The listeners and accepting (EpollListening_unix.cpp).
    bool StartListening(const std::vector<int> &fds);
    bool Listens(int fd) const;
    int ListenerOf(quint64 key) const; // the listener an event is for, else -1
    void HandleAccept(int listener);
    void PauseAccepting(int listener);

    // The readiness pass and the traffic of one connection (EpollEngine_unix.cpp).
    void OnReady();
    void HandleEvent(Conn *c, quint32 ev);
    void HandleRead(Conn *c);
    void FlushOutput(Conn *c);
    void UpdateInterest(Conn *c);
    void Register(Conn *c);
    Conn *Lookup(quint64 key) const;

    // How a connection ends: failure, the client's close, draining after Close
    // (EpollConnectionEnd_unix.cpp).
    void Fail(Conn *c, bool notifyNow);
    void Notify(Conn *c);
    void FlushDeferred();
    void ScheduleFlush();
    void FinishClosing(Conn *c);
    void Dispose(std::unique_ptr<Conn> c);
    std::unique_ptr<Conn> TakeClosing(Conn *c);
    void SweepClosing();
    void ReleaseFd(Conn *c);

    SocketControl &q;
    int epfd = -1;
    QSocketNotifier *notifier = nullptr;
    QTimer sweepTimer;
    std::vector<int> listenFds; // all registered under listenGen
    quint32 listenGen = 0;
    quint32 nextGen = 1;
    Pending pending;
    std::array<std::unique_ptr<Conn>, SocketElements> slotConn; // index 0 unused
    std::vector<std::unique_ptr<Conn>> closing;
    std::vector<Conn *> byFd;                     // lookup for epoll events
    std::vector<std::unique_ptr<Conn>> graveyard; // freed when the current pass ends
    std::vector<Conn *> deferredClose;            // PeerClosed owed after the current event
    bool inPass = false;
    bool flushScheduled = false;
    bool notifierPaused = false;
    char scratch[64 * 1024];
};
