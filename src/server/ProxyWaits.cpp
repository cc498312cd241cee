// SocketControl: connections from trusted balancers, held apart until their PROXY header
// has come whole, then announced like any other connection.
#include "SocketControl.h"

#include "SocketEngine.h"

#include <algorithm>

namespace {

constexpr int WaitSweepMs = 250;

} // namespace

void SocketControl::SetProxySources(std::function<bool(const QHostAddress &)> isSource)
{
    isProxySource_ = std::move(isSource);
}

void SocketControl::OnConnectionRequest(qintptr requestID)
{
    if (isProxySource_) {
        const QHostAddress peer = engine_->PendingPeer(requestID);
        if (isProxySource_(peer)) {
            Hold(requestID, peer);
            return;
        }
    }
    emit ConnectionRequest(0, requestID);
}

void SocketControl::OnDataArrival(int element, qint64 bytesTotal)
{
    if (element <= MaxSlots) {
        emit DataArrival(element, bytesTotal);
        return;
    }
    const int i = element - MaxSlots - 1;
    HeaderWait &w = waits_[i];
    // The bytes stay in the layer until the header is whole; it reads those it has not
    // seen yet.
    const QByteArray waiting = engine_->Peek(element);
    w.header.Feed(QByteArrayView(waiting).sliced(std::min(w.header.Length(), waiting.size())));
    if (w.header.State() == ProxyHeader::Status::Complete)
        Announce(i);
    else if (w.header.State() == ProxyHeader::Status::Invalid)
        EndWait(i, true);
}

void SocketControl::OnPeerClosed(int element)
{
    if (element <= MaxSlots)
        emit PeerClosed(element);
    else
        EndWait(element - MaxSlots - 1, true); // gone before its header was whole
}

void SocketControl::Hold(qintptr requestID, const QHostAddress &balancer)
{
    const auto free = std::find_if(waits_.begin(), waits_.end(), [](const HeaderWait &w) { return !w.busy; });
    // Not accepted, the request is closed when its event returns.
    if (free == waits_.end() || !engine_->Accept(WaitElement(int(free - waits_.begin())), requestID)) {
        emit ProxyHeaderRefused();
        return;
    }
    *free = {true, ProxyHeader(), balancer, QDeadlineTimer(ProxyHeaderTimeoutMs)};
    if (!waitSweep_.isActive())
        waitSweep_.start(WaitSweepMs);
}

void SocketControl::Announce(int i)
{
    const int element = WaitElement(i);
    // The header leaves the buffer; what follows it is the client's first request.
    engine_->Read(element, waits_[i].header.Length());
    announcing_ = -qintptr(element);
    acceptedSlot_ = 0;
    emit ConnectionRequest(0, announcing_);
    announcing_ = 0;
    const int slot = std::exchange(acceptedSlot_, 0);
    // Refused by the handler (which counts why), the connection closes here.
    EndWait(i, false);
    if (slot)
        if (const qint64 waiting = engine_->Peek(slot).size(); waiting > 0)
            emit DataArrival(slot, waiting);
}

bool SocketControl::AcceptWaiting(int index, qintptr requestID)
{
    if (requestID != announcing_ || !engine_->Move(int(-requestID), index))
        return false;
    const QHostAddress &named = waits_[-requestID - MaxSlots - 1].header.Source();
    namedPeer_[index] = named.isNull() ? std::nullopt : std::optional<QHostAddress>(named);
    announcing_ = 0;
    acceptedSlot_ = index;
    return true;
}

// The client the header named; the balancer itself when it named none (a health check).
QHostAddress SocketControl::WaitingHostAddress(qintptr requestID) const
{
    if (requestID != announcing_)
        return QHostAddress();
    const HeaderWait &w = waits_[-requestID - MaxSlots - 1];
    return w.header.Source().isNull() ? w.balancer : w.header.Source();
}

void SocketControl::EndWait(int i, bool refused)
{
    if (!waits_[i].busy)
        return;
    engine_->CloseSlot(WaitElement(i));
    waits_[i] = HeaderWait();
    if (refused)
        emit ProxyHeaderRefused();
}

void SocketControl::SweepWaits()
{
    bool waiting = false;
    for (int i = 0; i < MaxHeaderWaits; ++i) {
        if (waits_[i].busy && waits_[i].deadline.hasExpired())
            EndWait(i, true);
        waiting |= waits_[i].busy;
    }
    if (!waiting)
        waitSweep_.stop();
}
