#pragma once
#include "ProxyHeader.h"
#include "ServerLimits.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class SocketEngine;

// The server's socket array: element 0 listens, elements 1..MaxSlots each serve one
// client once loaded. Every event is delivered on the thread that owns the object, one at
// a time, and a handler may call any operation on any element from inside an event.
//
// Beyond the plain operations the layer guards the process against its clients:
// - while a connection holds more than OutputBound unsent bytes it is not read from; it
//   is read again as the client takes its replies, so no byte is lost, only delayed;
// - a slot's waiting bytes are bounded the same way until GetData takes them;
// - Close lets queued replies leave before the connection is released, but gives up
//   after CloseTimeoutMs so that a client that never reads cannot pin memory.
//
// Connections from the sources SetProxySources names (load balancers) must begin with a
// PROXY header. Each is held apart, without a slot, until its header has come whole; only
// then is it announced by ConnectionRequest like any other, with the header's client as
// PendingHostAddress and later RemoteHostIP, and the bytes after the header arrive as its
// first data. A header that is malformed, cut short by a close, not whole within
// ProxyHeaderTimeoutMs, or that would wait beside MaxHeaderWaits others, ends the
// connection without an announcement; ProxyHeaderRefused says so.
class SocketControl : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 OutputBound = 256 * 1024;
    static constexpr qint64 InputBound = 256 * 1024;
    static constexpr int CloseTimeoutMs = 10000;
    // Balancers send the header at once; three seconds cover the resend of a lost segment.
    static constexpr int ProxyHeaderTimeoutMs = 3000;

    explicit SocketControl(QObject *parent = nullptr);
    ~SocketControl() override;

    // False for a value that is not a usable TCP port (outside 0..65535); 0 lets the
    // system pick one, see LocalPort. The operator's port text never gets here as 0.
    bool SetLocalPort(qint64 port);
    // Listens on every address, IPv6 and IPv4 alike. False when the port cannot be
    // listened on (taken on either protocol, not allowed) or element 0 listens already.
    bool Listen();
    // Listens on sockets opened and made to listen elsewhere (a service manager's), all
    // raising ConnectionRequest on element 0; the array owns them from here (when it
    // returns false the caller gives them up). Closing element 0 closes this process's
    // copies only: clients queued
    // on a socket the manager still holds wait there for the next listener.
    bool ListenOn(const std::vector<qintptr> &listeners);
    bool Listening() const;
    // The port actually bound while listening (the first socket's), else the port that was set.
    quint16 LocalPort() const;
    // Listening for IPv6 and IPv4 clients alike; false on a system without IPv6.
    bool DualStack() const;
    // Whether a connection from this peer must begin with a PROXY header; empty: none.
    void SetProxySources(std::function<bool(const QHostAddress &)> isSource);

    // Creates slot index (1..MaxSlots) as an unconnected socket; false for a bad index or
    // one already loaded.
    bool Load(int index);
    // Closes the slot (as Close does) and releases its index.
    void Unload(int index);
    // Element 0 always exists.
    bool IsLoaded(int index) const;

    // Only during the ConnectionRequest event that announced requestID: the loaded,
    // unconnected slot index takes over the connection. A request nobody accepts is
    // closed when the event returns.
    bool Accept(int index, qintptr requestID);
    // Only during the same event: the address of the client asking, so that it can be
    // turned away before it takes a slot. Null for any other request.
    QHostAddress PendingHostAddress(qintptr requestID) const;
    // Up to maxLen of the bytes waiting on the slot (all when maxLen is negative); they
    // leave the buffer.
    QByteArray GetData(int index, qint64 maxLen);
    // Queues data on the slot's connection, in order, nothing added; sent at once when
    // the connection takes it. False when the slot has no working connection; a send
    // that fails closes the slot and raises PeerClosed after the current event.
    bool SendData(int index, const QByteArray &data);
    // 0: stop listening, and drop the connections still sending a header. A slot: release
    // its connection (queued replies still leave), after which the slot may accept again.
    // Harmless on what is closed or absent.
    void Close(int index);
    // The client's address (the one its PROXY header named): IPv4 clients in dotted
    // decimal, IPv6 clients as IPv6 text. Empty for a slot without a connection.
    QString RemoteHostIP(int index) const;

    // Diagnostics: unsent bytes queued on a slot, and every byte the layer holds for all
    // connections (waiting input and unsent output, including connections being closed).
    qint64 QueuedOutput(int index) const;
    qint64 BufferedBytes() const;

signals:
    void ConnectionRequest(int index, qintptr requestID);
    void DataArrival(int index, qint64 bytesTotal);
    // The client closed its end, or the connection failed; the slot stays loaded and
    // busy until it is closed.
    void PeerClosed(int index);
    // A connection from a trusted source ended before its PROXY header came whole.
    void ProxyHeaderRefused();

private:
    friend class SocketEngine;
    // A connection still sending its PROXY header, held by engine element
    // MaxSlots + 1 + its index in waits_.
    struct HeaderWait
    {
        bool busy = false;
        ProxyHeader header;
        QHostAddress balancer;
        QDeadlineTimer deadline;
    };
    static int WaitElement(int i) { return MaxSlots + 1 + i; }
    bool IsSlot(int index) const { return index >= 1 && index <= MaxSlots; }

    // Events from the socket layer; those of waiting connections stop here (ProxyWaits.cpp).
    void OnConnectionRequest(qintptr requestID);
    void OnDataArrival(int element, qint64 bytesTotal);
    void OnPeerClosed(int element);
    void Hold(qintptr requestID, const QHostAddress &balancer);
    void Announce(int i);
    void EndWait(int i, bool refused);
    void SweepWaits();
    bool AcceptWaiting(int index, qintptr requestID);
    QHostAddress WaitingHostAddress(qintptr requestID) const;

    std::unique_ptr<SocketEngine> engine_;
    quint16 port_ = 0;
    std::array<bool, MaxSlots + 1> loaded_{}; // index 0, the listener, always exists
    std::function<bool(const QHostAddress &)> isProxySource_;
    std::array<HeaderWait, MaxHeaderWaits> waits_;
    QTimer waitSweep_;
    qintptr announcing_ = 0; // the waiting connection being announced, as its request ID
    int acceptedSlot_ = 0;   // where Accept put it
    // Per slot, the client a PROXY header named; none for a direct connection.
    std::array<std::optional<QHostAddress>, MaxSlots + 1> namedPeer_{};
};
