// How an epoll connection ends: a failed read or send, the client's close, and Close
// with replies still queued.
#include "EpollEngine.h"

#include "ShutdownSending.h"
#include "SocketControl.h"

#include <algorithm>
#include <sys/epoll.h>
#include <unistd.h>

void EpollEngine::ReleaseFd(Conn *c)
{
    if (c->fd < 0)
        return;
    if (c->events)
        epoll_ctl(epfd, EPOLL_CTL_DEL, c->fd, nullptr);
    byFd[c->fd] = nullptr;
    ::close(c->fd);
    c->fd = -1;
    c->events = 0;
}

// A failed read or send ends that connection alone, as if the client had closed it.
void EpollEngine::Fail(Conn *c, bool notifyNow)
{
    ReleaseFd(c);
    c->in = QByteArray();
    c->out = QByteArray();
    c->outPos = 0;
    if (c->closing) {
        Dispose(TakeClosing(c));
        return;
    }
    c->failed = true;
    if (c->notified)
        return;
    if (notifyNow) {
        Notify(c);
    } else {
        deferredClose.push_back(c);
        ScheduleFlush();
    }
}

void EpollEngine::Notify(Conn *c)
{
    if (c->notified)
        return;
    c->notified = true;
    RaisePeerClosed(q, c->slot);
}

// Close notifications owed by a send that failed inside a handler: raised once that
// handler is done, and only if the slot still holds that connection.
void EpollEngine::FlushDeferred()
{
    while (!deferredClose.empty()) {
        Conn *c = deferredClose.front();
        deferredClose.erase(deferredClose.begin());
        if (std::any_of(slotConn.begin(), slotConn.end(),
                        [c](const std::unique_ptr<Conn> &held) { return held.get() == c; }))
            Notify(c);
    }
}

void EpollEngine::ScheduleFlush()
{
    if (inPass || flushScheduled)
        return;
    flushScheduled = true;
    QMetaObject::invokeMethod(
        &q,
        [this] {
            flushScheduled = false;
            FlushDeferred();
        },
        Qt::QueuedConnection);
}

void EpollEngine::CloseSlot(int slot)
{
    std::unique_ptr<Conn> c = std::move(slotConn[slot]);
    if (!c)
        return;
    // At once only when that resets nothing: nothing to send, and nothing unread.
    if (c->fd < 0 || (c->Unsent() == 0 && (c->peerEof || !HasUnreadInput(c->fd)))) {
        Dispose(std::move(c));
        return;
    }
    // Queued replies still leave; the slot is free at once.
    c->closing = true;
    c->slot = 0;
    c->in = QByteArray();
    c->closeDeadline = QDeadlineTimer(SocketControl::CloseTimeoutMs);
    Conn *raw = c.get();
    closing.push_back(std::move(c));
    if (!sweepTimer.isActive())
        sweepTimer.start();
    if (raw->Unsent() == 0)
        FinishClosing(raw);
    else
        UpdateInterest(raw);
}

// The queued replies have left a closing connection: say we are done sending, then
// release it once the client closes too (or the deadline passes), so that bytes the client
// still sends do not turn into a reset that could destroy replies in flight.
void EpollEngine::FinishClosing(Conn *c)
{
    if (c->peerEof) {
        Dispose(TakeClosing(c));
        return;
    }
    if (!c->shutSent) {
        ::shutdown(c->fd, SHUT_WR);
        c->shutSent = true;
    }
    UpdateInterest(c);
}

void EpollEngine::Dispose(std::unique_ptr<Conn> c)
{
    if (!c)
        return;
    ReleaseFd(c.get());
    // Pointers to it may still sit in the current pass or the deferred list.
    std::erase(deferredClose, c.get());
    if (inPass)
        graveyard.push_back(std::move(c));
}

std::unique_ptr<EpollEngine::Conn> EpollEngine::TakeClosing(Conn *c)
{
    auto it = std::find_if(closing.begin(), closing.end(),
                           [c](const std::unique_ptr<Conn> &p) { return p.get() == c; });
    if (it == closing.end())
        return nullptr;
    std::unique_ptr<Conn> owned = std::move(*it);
    closing.erase(it);
    if (closing.empty())
        sweepTimer.stop();
    return owned;
}

void EpollEngine::SweepClosing()
{
    std::vector<Conn *> expired;
    for (auto &c : closing)
        if (c->closeDeadline.hasExpired())
            expired.push_back(c.get());
    for (Conn *c : expired)
        Dispose(TakeClosing(c));
}
