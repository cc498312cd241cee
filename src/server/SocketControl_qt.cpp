// The portable socket array over QTcpServer and QTcpSocket, for systems without epoll.
#include "SocketControl.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <array>
#include <map>

namespace {
constexpr qint64 ReadChunk = 64 * 1024;
}

class SocketControl::Engine
{
public:
    explicit Engine(SocketControl *owner) : q(owner) {}
    ~Engine();

    SocketControl *q;
    quint16 port = 0;
    QTcpServer *server = nullptr;
    QTcpSocket *pending = nullptr;
    qintptr pendingID = -1;
    qintptr nextID = 1;

    struct Slot
    {
        bool loaded = false;
        QPointer<QTcpSocket> socket;
        bool notified = false;
    };
    std::array<Slot, MaxSlots + 1> slotArray;
    std::vector<QPointer<QTcpSocket>> closing;

    void OnNewConnection();
    void OnReadyRead(int index);
    void OnBytesWritten(int index);
    void OnGone(int index);
    void Detach(QTcpSocket *s);
    QTcpSocket *SlotSocket(int index) const
    {
        return index >= 1 && index <= MaxSlots ? slotArray[index].socket.data() : nullptr;
    }
};

SocketControl::Engine::~Engine()
{
    // No events from sockets torn down with the array.
    for (Slot &s : slotArray) {
        if (s.socket)
            QObject::disconnect(s.socket, nullptr, q, nullptr);
        delete s.socket.data();
    }
    for (auto &s : closing)
        delete s.data();
    delete server;
}

void SocketControl::Engine::OnNewConnection()
{
    while (server && server->hasPendingConnections()) {
        QTcpSocket *s = server->nextPendingConnection();
        if (!s)
            break;
        pending = s;
        pendingID = nextID++;
        emit q->ConnectionRequest(0, pendingID);
        if (pending) {
            pending->abort();
            pending->deleteLater();
        }
        pending = nullptr;
        pendingID = -1;
    }
}

void SocketControl::Engine::OnReadyRead(int index)
{
    QTcpSocket *s = SlotSocket(index);
    if (!s || s->bytesAvailable() == 0)
        return;
    // Replies pile up unsent: leave the bytes in the socket, whose bounded read buffer
    // then stops reading from the network. They are announced again as it drains.
    if (s->bytesToWrite() >= OutputBound)
        return;
    emit q->DataArrival(index, s->bytesAvailable());
}

void SocketControl::Engine::OnBytesWritten(int index)
{
    QTcpSocket *s = SlotSocket(index);
    if (s && s->bytesToWrite() < OutputBound && s->bytesAvailable() > 0) {
        // Deliver later so that this event does not run inside the write's signal.
        QTimer::singleShot(0, q, [this, index, s] {
            if (SlotSocket(index) == s)
                OnReadyRead(index);
        });
    }
}

void SocketControl::Engine::OnGone(int index)
{
    if (index < 1 || index > MaxSlots || !slotArray[index].socket || slotArray[index].notified)
        return;
    slotArray[index].notified = true;
    emit q->PeerClosed(index);
}

void SocketControl::Engine::Detach(QTcpSocket *s)
{
    QObject::disconnect(s, nullptr, q, nullptr);
    if (s->state() == QAbstractSocket::UnconnectedState || s->bytesToWrite() == 0) {
        s->abort();
        s->deleteLater();
        return;
    }
    // Queued replies still leave; a client that never reads is dropped after a while.
    QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
    QObject::connect(s, &QTcpSocket::errorOccurred, s, &QObject::deleteLater);
    QTimer::singleShot(CloseTimeoutMs, s, [s] {
        s->abort();
        s->deleteLater();
    });
    closing.push_back(s);
    std::erase_if(closing, [](const QPointer<QTcpSocket> &p) { return p.isNull(); });
    s->disconnectFromHost();
}

SocketControl::SocketControl(QObject *parent) : QObject(parent), d_(std::make_unique<Engine>(this))
{
}

SocketControl::~SocketControl() = default;

bool SocketControl::SetLocalPort(qint64 port)
{
    if (port < 0 || port > 65535)
        return false;
    d_->port = quint16(port);
    return true;
}

bool SocketControl::Listen()
{
    Engine &e = *d_;
    if (e.server)
        return false;
    auto *server = new QTcpServer(this);
    // Any is the dual-stack address: IPv6 and IPv4 clients alike. Only a system without
    // IPv6 falls back to IPv4; a port in use or not allowed is an answer.
    bool listening = server->listen(QHostAddress::Any, e.port);
    if (!listening && server->serverError() != QAbstractSocket::AddressInUseError
        && server->serverError() != QAbstractSocket::SocketAccessError)
        listening = server->listen(QHostAddress::AnyIPv4, e.port);
    if (!listening) {
        delete server;
        return false;
    }
    QObject::connect(server, &QTcpServer::newConnection, this, [&e] { e.OnNewConnection(); });
    e.server = server;
    return true;
}

quint16 SocketControl::LocalPort() const
{
    return d_->server ? d_->server->serverPort() : d_->port;
}

bool SocketControl::Load(int index)
{
    if (index < 1 || index > MaxSlots || d_->slotArray[index].loaded)
        return false;
    d_->slotArray[index].loaded = true;
    return true;
}

void SocketControl::Unload(int index)
{
    if (index < 1 || index > MaxSlots)
        return;
    Close(index);
    d_->slotArray[index].loaded = false;
}

bool SocketControl::IsLoaded(int index) const
{
    if (index == 0)
        return true;
    return index >= 1 && index <= MaxSlots && d_->slotArray[index].loaded;
}

bool SocketControl::Accept(int index, qintptr requestID)
{
    Engine &e = *d_;
    if (index < 1 || index > MaxSlots || !e.slotArray[index].loaded)
        return false;
    if (!e.pending || requestID != e.pendingID)
        return false;
    Engine::Slot &slot = e.slotArray[index];
    if (slot.socket) {
        if (!slot.notified)
            return false;
        e.Detach(slot.socket);
    }
    QTcpSocket *s = e.pending;
    e.pending = nullptr;
    s->setParent(nullptr);
    s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    s->setReadBufferSize(ReadChunk);
    slot.socket = s;
    slot.notified = false;
    connect(s, &QTcpSocket::readyRead, this, [&e, index] { e.OnReadyRead(index); });
    connect(s, &QTcpSocket::bytesWritten, this, [&e, index] { e.OnBytesWritten(index); });
    connect(s, &QTcpSocket::disconnected, this, [&e, index] { e.OnGone(index); });
    connect(s, &QTcpSocket::errorOccurred, this, [&e, index](QAbstractSocket::SocketError err) {
        // The end of a half-closed client's data: its replies still have to leave.
        if (err == QAbstractSocket::RemoteHostClosedError) {
            QTcpSocket *sock = e.SlotSocket(index);
            if (sock && sock->bytesToWrite() > 0)
                return;
        }
        e.OnGone(index);
    });
    return true;
}

QByteArray SocketControl::GetData(int index, qint64 maxLen)
{
    QTcpSocket *s = d_->SlotSocket(index);
    if (!s)
        return QByteArray();
    return maxLen < 0 ? s->readAll() : s->read(maxLen);
}

bool SocketControl::SendData(int index, const QByteArray &data)
{
    QTcpSocket *s = d_->SlotSocket(index);
    if (!s || s->state() != QAbstractSocket::ConnectedState)
        return false;
    if (s->write(data) != data.size())
        return false;
    // Sends now rather than in a later pass of the event loop.
    s->flush();
    return true;
}

void SocketControl::Close(int index)
{
    Engine &e = *d_;
    if (index == 0) {
        if (e.server) {
            e.server->close();
            e.server->deleteLater();
            e.server = nullptr;
        }
        return;
    }
    if (index < 1 || index > MaxSlots || !e.slotArray[index].socket)
        return;
    QTcpSocket *s = e.slotArray[index].socket;
    e.slotArray[index].socket = nullptr;
    e.Detach(s);
}

QString SocketControl::RemoteHostIP(int index) const
{
    QTcpSocket *s = d_->SlotSocket(index);
    if (!s)
        return QString();
    const QHostAddress peer = s->peerAddress();
    bool isV4 = false;
    const quint32 v4 = peer.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : peer.toString();
}

qint64 SocketControl::QueuedOutput(int index) const
{
    QTcpSocket *s = d_->SlotSocket(index);
    return s ? s->bytesToWrite() : 0;
}

qint64 SocketControl::BufferedBytes() const
{
    qint64 total = 0;
    for (const auto &slot : d_->slotArray)
        if (slot.socket)
            total += slot.socket->bytesToWrite() + slot.socket->bytesAvailable();
    for (const auto &s : d_->closing)
        if (s)
            total += s->bytesToWrite() + s->bytesAvailable();
    return total;
}
