// The socket array's bookkeeping, the same whichever socket layer carries the bytes.
#include "SocketControl.h"

#include "ParseNumber.h"
#include "SocketEngine.h"

SocketControl::SocketControl(QObject *parent) : QObject(parent), engine_(MakeSocketEngine(*this)) {}

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
    return IsSlot(index) && loaded_[index] && engine_->Accept(index, requestID);
}

QHostAddress SocketControl::PendingHostAddress(qintptr requestID) const { return engine_->PendingPeer(requestID); }

QByteArray SocketControl::GetData(int index, qint64 maxLen)
{
    return IsSlot(index) ? engine_->Read(index, maxLen) : QByteArray();
}

bool SocketControl::SendData(int index, const QByteArray &data) { return IsSlot(index) && engine_->Send(index, data); }

void SocketControl::Close(int index)
{
    if (index == 0)
        engine_->StopListening();
    else if (IsSlot(index))
        engine_->CloseSlot(index);
}

QString SocketControl::RemoteHostIP(int index) const { return IsSlot(index) ? engine_->PeerAddress(index) : QString(); }

qint64 SocketControl::QueuedOutput(int index) const { return IsSlot(index) ? engine_->QueuedOutput(index) : 0; }

qint64 SocketControl::BufferedBytes() const { return engine_->BufferedBytes(); }
