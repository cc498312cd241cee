#include "HttpRequestHead.h"

#include <QList>
#include <utility>

namespace {

bool IsTokenChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')
           || QByteArray("!#$%&'*+-.^_`|~").contains(c);
}

} // namespace

HttpRequestHead::State HttpRequestHead::Add(const QByteArray &bytes)
{
    if (state_ != State::Incomplete)
        return state_;
    // A blank line may begin up to two bytes before the new ones.
    const qsizetype from = qMax<qsizetype>(0, head_.size() - 2);
    head_ += bytes.left(bound_ - head_.size());
    for (qsizetype i = head_.indexOf('\n', from); i >= 0; i = head_.indexOf('\n', i + 1)) {
        // A line end, then an empty line; bare LF line ends are taken too.
        const qsizetype next = i + 1 < head_.size() && head_[i + 1] == '\r' ? i + 2 : i + 1;
        if (next < head_.size() && head_[next] == '\n')
            return state_ = Parse();
    }
    if (head_.size() >= bound_)
        state_ = State::TooLarge;
    return state_;
}

HttpRequestHead::State HttpRequestHead::Parse()
{
    QByteArray line = std::exchange(head_, QByteArray());
    line.truncate(line.indexOf('\n'));
    if (line.endsWith('\r'))
        line.chop(1);
    const QList<QByteArray> parts = line.split(' ');
    if (parts.size() != 3 || parts[0].isEmpty() || !parts[1].startsWith('/') || !parts[2].startsWith("HTTP/1."))
        return State::Malformed;
    for (const char c : parts[0])
        if (!IsTokenChar(c))
            return State::Malformed;
    method_ = parts[0];
    const qsizetype query = parts[1].indexOf('?');
    path_ = query < 0 ? parts[1] : parts[1].left(query);
    return State::Complete;
}
