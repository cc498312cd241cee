#include "HelpText.h"

#include <QFile>
#include <QIODevice>
#include <QStringDecoder>

namespace {

QString Decode(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringConverter::Utf8);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes);
}

} // namespace

QString ReadHelpText(QIODevice &source)
{
    QByteArray bytes;
    bool complete = false;
    char chunk[64 * 1024];
    while (bytes.size() < HelpTextLimit) {
        const qint64 wanted = qMin<qint64>(sizeof chunk, HelpTextLimit - bytes.size());
        const qint64 got = source.read(chunk, wanted);
        if (got < 0)
            break; // read failure: keep what came before
        if (got == 0) {
            complete = source.atEnd();
            break;
        }
        bytes.append(chunk, got);
    }

    // Split on the bytes: CR and LF are single bytes in UTF-8 and Latin-1
    // alike, so lines can be cut before the encoding is known.
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r')
            continue;
        lines.append(bytes.mid(start, i - start));
        if (i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    // The end of the data ends the last line, but only if the data really
    // ended; an unfinished line before a failure is not a line that was read.
    if (complete && start < bytes.size())
        lines.append(bytes.mid(start));

    QByteArray joined;
    joined.reserve(bytes.size() + 2 * lines.size());
    for (const QByteArray &line : lines) {
        joined += line;
        joined += "\r\n";
    }
    return Decode(joined);
}

QString ReadHelpText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return ReadHelpText(file);
}
