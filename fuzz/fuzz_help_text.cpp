// Readme.txt with any content: every CR the window shows ends a line, the text ends with
// a line end, and no line feed that stood inside a line is lost.
#include "FuzzCheck.h"
#include "HelpText.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString path = dir.filePath(QStringLiteral("Readme.txt"));
    {
        QFile f(path);
        FUZZ_CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    const QString text = ReadHelpText(path);

    // The file and an in-memory source of the same bytes read alike.
    QBuffer buffer;
    buffer.setData(bytes);
    FUZZ_CHECK(buffer.open(QIODevice::ReadOnly));
    FUZZ_CHECK(ReadHelpText(buffer) == text);

    if (bytes.isEmpty()) {
        FUZZ_CHECK(text.isEmpty());
        return 0;
    }
    FUZZ_CHECK(text.endsWith(QStringLiteral("\r\n")));
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text.at(i) == u'\r')
            FUZZ_CHECK(i + 1 < text.size() && text.at(i + 1) == u'\n');

    // Line count: one per CR or CR LF in the source, plus an unterminated last line.
    qsizetype lines = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r') {
            ++lines;
            if (i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
        }
    }
    if (!bytes.endsWith('\r') && !bytes.endsWith("\r\n"))
        ++lines;
    FUZZ_CHECK(text.count(QStringLiteral("\r\n")) == lines);

    // Lone line feeds stay inside their lines.
    const qsizetype sourceFeeds = bytes.count('\n') - bytes.count("\r\n");
    FUZZ_CHECK(text.count(u'\n') - lines == sourceFeeds);
    return 0;
}
