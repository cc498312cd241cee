// The socket array's bookkeeping, the same whichever socket layer carries the bytes.
#include "SocketControl.h"

#include "AddressText.h"
#include "ParseNumber.h"
#include "SocketEngine.h"

void SocketEngine::RaiseConnectionRequest(SocketControl &owner, qintptr requestID)
{
    owner.OnConnectionRequest(requestID);
}

void SocketEngine::RaiseDataArrival(SocketControl &owner, int element, qint64 bytesTotal)
{
    owner.OnDataArrival(element, bytesTotal);
}

void SocketEngine::RaisePeerClosed(SocketControl &owner, int element) { owner.OnPeerClosed(element); }

SocketControl::SocketControl(QObject *parent) : QObject(parent), engine_(MakeSocketEngine(*this))
{
    connect(&waitSweep_, &QTimer::timeout, this, &SocketControl::SweepWaits);
}

SocketControl::~SocketControl() = default;

bool SocketControl::SetLocalPort(qint64 port)
{
    // Whole already; the shared rule keeps the range check in one place.
    const std::optional<qint64> usable = WholeNumberIn(double(port), 0, 65535);
    if (!usable)
        return false;
    port_ = quint16(*usable);
    return true;
}

bool SocketControl::Listen() { return engine_->Listen(port_); }

bool SocketControl::ListenOn(const std::vector<qintptr> &listeners) { return engine_->Adopt(listeners); }

bool SocketControl::Listening() const { return engine_->BoundPort() != 0; }

quint16 SocketControl::LocalPort() const
{
    const quint16 bound = engine_->BoundPort();
    return bound ? bound : port_;
}

bool SocketControl::DualStack() const { return engine_->DualStack(); }

bool SocketControl::Load(int index)
{
    if (!IsSlot(index) || loaded_[index])
        return false;
    loaded_[index] = true;
    return true;
}

void SocketControl::Unload(int index)
{
    if (!IsSlot(index))
        return;
    Close(index);
    loaded_[index] = false;
}

bool SocketControl::IsLoaded(int index) const { return index == 0 || (IsSlot(index) && loaded_[index]); }

bool SocketControl::Accept(int index, qintptr requestID)
{
    if (!IsSlot(index) || !loaded_[index])
        return false;
    // Waiting connections are announced with negative IDs, the layers' own are not.
    if (requestID < 0)
        return AcceptWaiting(index, requestID);
    if (!engine_->Accept(index, requestID))
        return false;
    namedPeer_[index].reset();
    return true;
}

QHostAddress SocketControl::PendingHostAddress(qintptr requestID) const
{
    return requestID < 0 ? WaitingHostAddress(requestID) : engine_->PendingPeer(requestID);
}

QByteArray SocketControl::GetData(int index, qint64 maxLen)
{
    return IsSlot(index) ? engine_->Read(index, maxLen) : QByteArray();
}

bool SocketControl::SendData(int index, const QByteArray &data) { return IsSlot(index) && engine_->Send(index, data); }

void SocketControl::Close(int index)
{
    if (index == 0) {
        engine_->StopListening();
        for (int i = 0; i < MaxHeaderWaits; ++i)
            if (waits_[i].busy)
                EndWait(i, false);
    } else if (IsSlot(index)) {
        engine_->CloseSlot(index);
        namedPeer_[index].reset();
    }
}

QString SocketControl::RemoteHostIP(int index) const
{
    if (!IsSlot(index))
        return QString();
    return namedPeer_[index] ? ClientAddressText(*namedPeer_[index]) : engine_->PeerAddress(index);
}

qint64 SocketControl::QueuedOutput(int index) const { return IsSlot(index) ? engine_->QueuedOutput(index) : 0; }

qint64 SocketControl::BufferedBytes() const { return engine_->BufferedBytes(); }
