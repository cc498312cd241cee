// The portable socket layer over QTcpServer and QTcpSocket, for systems without epoll.
#include "AddressText.h"
#include "ServerLimits.h"
#include "ShutdownSending.h"
#include "SocketControl.h"
#include "SocketEngine.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <array>

namespace {

constexpr qint64 ReadChunk = 64 * 1024;

class QtSocketEngine : public SocketEngine
{
public:
    explicit QtSocketEngine(SocketControl &owner) : q(owner) {}
    ~QtSocketEngine() override;

    bool Listen(quint16 port) override;
    bool Adopt(const std::vector<qintptr> &listeners) override;
    void StopListening() override;
    quint16 BoundPort() const override { return servers.empty() ? 0 : servers.front()->serverPort(); }
    bool DualStack() const override
    {
        return !servers.empty() && servers.front()->serverAddress() == QHostAddress::Any;
    }
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
    struct Slot
    {
        QPointer<QTcpSocket> socket;
        bool notified = false;
    };

    void StartListening(QTcpServer *server);
    void OnNewConnection(QTcpServer *server);
    void Wire(int slot, QTcpSocket *s);
    void OnReadyRead(int slot);
    void OnBytesWritten(int slot);
    void OnGone(int slot);
    void Detach(QTcpSocket *s);

    SocketControl &q;
    std::vector<QTcpServer *> servers;
    QTcpSocket *pending = nullptr;
    qintptr pendingID = -1;
    qintptr nextID = 1;
    std::array<Slot, SocketElements> slotTable; // index 0 unused
    std::vector<QPointer<QTcpSocket>> closing;
};

QtSocketEngine::~QtSocketEngine()
{
    // No events from sockets torn down with the array.
    for (Slot &s : slotTable) {
        if (s.socket)
            QObject::disconnect(s.socket, nullptr, &q, nullptr);
        delete s.socket.data();
    }
    for (auto &s : closing)
        delete s.data();
    qDeleteAll(servers);
}

bool QtSocketEngine::Listen(quint16 port)
{
    if (!servers.empty())
        return false;
    auto *candidate = new QTcpServer(&q);
    // Any is the dual-stack address: IPv6 and IPv4 clients alike. Only a system without
    // IPv6 falls back to IPv4; a port in use or not allowed is an answer.
    bool listening = candidate->listen(QHostAddress::Any, port);
    if (!listening && candidate->serverError() != QAbstractSocket::AddressInUseError
        && candidate->serverError() != QAbstractSocket::SocketAccessError)
        listening = candidate->listen(QHostAddress::AnyIPv4, port);
    if (!listening) {
        delete candidate;
        return false;
    }
    StartListening(candidate);
    return true;
}

bool QtSocketEngine::Adopt(const std::vector<qintptr> &listeners)
{
    if (!servers.empty() || listeners.empty())
        return false;
    for (const qintptr fd : listeners) {
        auto *server = new QTcpServer(&q);
        if (!server->setSocketDescriptor(fd)) {
            delete server;
            StopListening();
            return false;
        }
        StartListening(server); // which closes the descriptor with it
    }
    return true;
}

void QtSocketEngine::StartListening(QTcpServer *server)
{
    QObject::connect(server, &QTcpServer::newConnection, &q, [this, server] { OnNewConnection(server); });
    servers.push_back(server);
}

// Only this process's copy closes: clients queued on a socket a service manager still
// holds wait there for the next process.
void QtSocketEngine::StopListening()
{
    for (QTcpServer *server : servers) {
        server->close();
        server->deleteLater();
    }
    servers.clear();
}

void QtSocketEngine::OnNewConnection(QTcpServer *server)
{
    // A handler may stop the listeners mid-loop; they are deleted later, so still there.
    while (std::find(servers.begin(), servers.end(), server) != servers.end() && server->hasPendingConnections()) {
        QTcpSocket *s = server->nextPendingConnection();
        if (!s)
            break;
        pending = s;
        pendingID = nextID++;
        RaiseConnectionRequest(q, pendingID);
        if (pending) {
            pending->abort();
            pending->deleteLater();
        }
        pending = nullptr;
        pendingID = -1;
    }
}

bool QtSocketEngine::Accept(int slot, qintptr requestID)
{
    if (!pending || requestID != pendingID)
        return false;
    Slot &held = slotTable[slot];
    if (held.socket) {
        if (!held.notified)
            return false;
        Detach(held.socket);
    }
    QTcpSocket *s = pending;
    pending = nullptr;
    s->setParent(nullptr);
    s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    s->setReadBufferSize(ReadChunk);
    held.socket = s;
    held.notified = false;
    Wire(slot, s);
    return true;
}

bool QtSocketEngine::Move(int from, int to)
{
    Slot &held = slotTable[to];
    QTcpSocket *s = slotTable[from].socket;
    if (!s || (held.socket && !held.notified))
        return false;
    if (held.socket)
        Detach(held.socket);
    held = std::exchange(slotTable[from], Slot());
    QObject::disconnect(s, nullptr, &q, nullptr);
    Wire(to, s);
    return true;
}

// The socket's events, told apart by the element that holds it.
void QtSocketEngine::Wire(int slot, QTcpSocket *s)
{
    QObject::connect(s, &QTcpSocket::readyRead, &q, [this, slot] { OnReadyRead(slot); });
    QObject::connect(s, &QTcpSocket::bytesWritten, &q, [this, slot] { OnBytesWritten(slot); });
    QObject::connect(s, &QTcpSocket::disconnected, &q, [this, slot] { OnGone(slot); });
    QObject::connect(s, &QTcpSocket::errorOccurred, &q, [this, slot](QAbstractSocket::SocketError err) {
        // The end of a half-closed client's data: its replies still have to leave.
        if (err == QAbstractSocket::RemoteHostClosedError && slotTable[slot].socket
            && slotTable[slot].socket->bytesToWrite() > 0)
            return;
        OnGone(slot);
    });
}

void QtSocketEngine::OnReadyRead(int slot)
{
    QTcpSocket *s = slotTable[slot].socket;
    if (!s || s->bytesAvailable() == 0)
        return;
    // Replies pile up unsent: leave the bytes in the socket, whose bounded read buffer
    // then stops reading from the network. They are announced again as it drains.
    if (s->bytesToWrite() >= SocketControl::OutputBound)
        return;
    RaiseDataArrival(q, slot, s->bytesAvailable());
}

void QtSocketEngine::OnBytesWritten(int slot)
{
    QTcpSocket *s = slotTable[slot].socket;
    if (s && s->bytesToWrite() < SocketControl::OutputBound && s->bytesAvailable() > 0) {
        // Deliver later so that this event does not run inside the write's signal.
        QTimer::singleShot(0, &q, [this, slot, s] {
            if (slotTable[slot].socket == s)
                OnReadyRead(slot);
        });
    }
}

void QtSocketEngine::OnGone(int slot)
{
    if (!slotTable[slot].socket || slotTable[slot].notified)
        return;
    slotTable[slot].notified = true;
    RaisePeerClosed(q, slot);
}

void QtSocketEngine::Detach(QTcpSocket *s)
{
    QObject::disconnect(s, nullptr, &q, nullptr);
    if (s->state() == QAbstractSocket::UnconnectedState || s->bytesToWrite() == 0) {
        s->abort();
        s->deleteLater();
        return;
    }
    // As the other layer does: queued replies leave, then the end of sending; what the
    // client still sends is read and dropped until it closes too, since closing a socket
    // with unread bytes resets the connection and destroys replies still in flight. A
    // client that never reads or never closes is dropped after a while.
    s->setReadBufferSize(0);
    QObject::connect(s, &QTcpSocket::readyRead, s, [s] { s->readAll(); });
    const auto shutWhenSent = [s] {
        if (s->bytesToWrite() == 0)
            ShutdownSending(s->socketDescriptor());
    };
    QObject::connect(s, &QTcpSocket::bytesWritten, s, shutWhenSent);
    QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
    QObject::connect(s, &QTcpSocket::errorOccurred, s, &QObject::deleteLater);
    QTimer::singleShot(SocketControl::CloseTimeoutMs, s, [s] {
        s->abort();
        s->deleteLater();
    });
    closing.push_back(s);
    std::erase_if(closing, [](const QPointer<QTcpSocket> &p) { return p.isNull(); });
    s->readAll();
}

QByteArray QtSocketEngine::Read(int slot, qint64 maxLen)
{
    QTcpSocket *s = slotTable[slot].socket;
    if (!s)
        return QByteArray();
    return maxLen < 0 ? s->readAll() : s->read(maxLen);
}

QByteArray QtSocketEngine::Peek(int slot) const
{
    QTcpSocket *s = slotTable[slot].socket;
    return s ? s->peek(s->bytesAvailable()) : QByteArray();
}

bool QtSocketEngine::Send(int slot, const QByteArray &data)
{
    QTcpSocket *s = slotTable[slot].socket;
    if (!s)
        return false;
    if (s->state() != QAbstractSocket::ConnectedState || s->write(data) != data.size()) {
        // As the other layer does: the connection is given up, and its slot hears of it
        // once the current event is over.
        QTimer::singleShot(0, &q, [this, slot, s] {
            if (slotTable[slot].socket == s)
                OnGone(slot);
        });
        return false;
    }
    // Sends now rather than in a later pass of the event loop.
    s->flush();
    return true;
}

void QtSocketEngine::CloseSlot(int slot)
{
    QTcpSocket *s = slotTable[slot].socket;
    if (!s)
        return;
    slotTable[slot].socket = nullptr;
    Detach(s);
}

QHostAddress QtSocketEngine::PendingPeer(qintptr requestID) const
{
    return pending && requestID == pendingID ? pending->peerAddress() : QHostAddress();
}

QString QtSocketEngine::PeerAddress(int slot) const
{
    QTcpSocket *s = slotTable[slot].socket;
    if (!s)
        return QString();
    return ClientAddressText(s->peerAddress());
}

qint64 QtSocketEngine::QueuedOutput(int slot) const
{
    QTcpSocket *s = slotTable[slot].socket;
    return s ? s->bytesToWrite() : 0;
}

qint64 QtSocketEngine::BufferedBytes() const
{
    qint64 total = 0;
    for (const Slot &held : slotTable)
        if (held.socket)
            total += held.socket->bytesToWrite() + held.socket->bytesAvailable();
    for (const auto &s : closing)
        if (s)
            total += s->bytesToWrite() + s->bytesAvailable();
    return total;
}

} // namespace

std::unique_ptr<SocketEngine> MakeSocketEngine(SocketControl &owner) { return std::make_unique<QtSocketEngine>(owner); }
