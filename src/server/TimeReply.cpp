#include "TimeReply.h"

QByteArray BuildTimeReply(const QByteArray &request, const QByteArray &stamp)
{
    QByteArray reply;
    reply.reserve(request.size() + 1 + stamp.size());
    reply.append(request);
    reply.append(':');
    reply.append(stamp);
    return reply;
}
