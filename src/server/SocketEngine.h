#pragma once
#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QtGlobal>

#include <memory>
#include <vector>

class SocketControl;

// The part of the socket array that differs between socket layers. SocketControl keeps
// the bookkeeping both share (the port, which slots are loaded, the range checks, the
// connections still sending a PROXY header) and calls in here only with an element in
// 1..SocketElements - 1: a loaded slot, or one of the elements after the slots that hold
// connections waiting for their header. Events go out through the Raise functions.
class SocketEngine
{
public:
    virtual ~SocketEngine() = default;

    virtual bool Listen(quint16 port) = 0; // false when listening already or refused
    // Listens on sockets opened and made to listen elsewhere (a service manager's); they
    // are the engine's from here on. When refused, those taken are closed again and the
    // caller gives up the rest.
    virtual bool Adopt(const std::vector<qintptr> &listeners) = 0;
    virtual void StopListening() = 0;
    virtual quint16 BoundPort() const = 0; // 0 when not listening
    virtual bool DualStack() const = 0;    // listening on IPv6 and IPv4 alike

    // Inside the ConnectionRequest event for requestID: the slot takes the connection,
    // unless it still serves a client that has not gone.
    virtual bool Accept(int slot, qintptr requestID) = 0;
    // Inside the same event: who asks; a null address for any other request.
    virtual QHostAddress PendingPeer(qintptr requestID) const = 0;
    virtual QByteArray Read(int slot, qint64 maxLen) = 0;
    // The waiting bytes, which stay waiting.
    virtual QByteArray Peek(int slot) const = 0;
    // The connection of element from, with its waiting bytes, goes to element to, unless
    // that still serves a client that has not gone; from is then empty.
    virtual bool Move(int from, int to) = 0;
    virtual bool Send(int slot, const QByteArray &data) = 0;
    virtual void CloseSlot(int slot) = 0;
    virtual QString PeerAddress(int slot) const = 0;
    virtual qint64 QueuedOutput(int slot) const = 0;
    virtual qint64 BufferedBytes() const = 0;

protected:
    // The owner first keeps back the events of connections still sending a PROXY header.
    static void RaiseConnectionRequest(SocketControl &owner, qintptr requestID);
    static void RaiseDataArrival(SocketControl &owner, int element, qint64 bytesTotal);
    static void RaisePeerClosed(SocketControl &owner, int element);
};

// Defined by the socket layer CMake builds in.
std::unique_ptr<SocketEngine> MakeSocketEngine(SocketControl &owner);
