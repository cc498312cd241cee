// The autostart entry: any file content reads without harm, and any executable path
// written by the program reads back as exactly that one argument.
#include "DesktopEntryText.h"
#include "Files.h"
#include "FuzzCheck.h"
#include "XdgAutostartStore.h"

#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    XdgAutostartStore store(dir.path());

    // Whatever another program left in the file.
    FUZZ_CHECK(WriteFile(store.FilePath(), bytes));
    const QString exec = store.Read();
    (void)ParseDesktopExec(exec);

    // The same bytes taken as one argument (a path may hold any character but NUL).
    QString argument = QString::fromUtf8(bytes);
    argument.remove(QChar(0));
    FUZZ_CHECK(UnescapeDesktopString(EscapeDesktopString(argument)) == argument);
    const QString quoted = QuoteExecArgument(argument);
    FUZZ_CHECK(ParseDesktopExec(quoted) == QStringList{argument});

    // Through the file, as the unload writes it and the next load reads it.
    FUZZ_CHECK(store.Write(store.EntryData(argument)));
    const QString readBack = store.Read();
    FUZZ_CHECK(readBack == quoted);
    FUZZ_CHECK(ParseDesktopExec(readBack) == QStringList{argument});
    return 0;
}
