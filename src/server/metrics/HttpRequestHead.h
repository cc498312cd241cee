#pragma once
#include <QByteArray>

// The head of one HTTP/1.x request, read as its bytes arrive however they are split. Only
// the request line matters here; header lines are skipped, but count against the bound,
// so that a client cannot make the reader hold more than that.
class HttpRequestHead
{
public:
    enum class State { Incomplete, Complete, Malformed, TooLarge };

    explicit HttpRequestHead(qsizetype bound) : bound_(bound) {}

    // Bytes after the head, and any bytes once the state is no longer Incomplete, are
    // ignored.
    State Add(const QByteArray &bytes);
    State Current() const { return state_; }
    // Once Complete: the method as sent ("GET"), the target's path without its query.
    const QByteArray &Method() const { return method_; }
    const QByteArray &Path() const { return path_; }

private:
    State Parse();

    qsizetype bound_;
    QByteArray head_;
    State state_ = State::Incomplete;
    QByteArray method_, path_;
};
