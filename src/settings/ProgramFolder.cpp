#include "ProgramFolder.h"

#include <QFileInfo>

QString WithOneTrailingSlash(const QString &dir)
{
    if (dir.isEmpty())
        return dir;
    qsizetype end = dir.size();
    while (end > 0 && dir.at(end - 1) == u'/')
        --end;
    return dir.left(end) + u'/';
}

QString ProgramFolder()
{
    const QString executable = ExecutablePath();
    return executable.isEmpty() ? QString() : WithOneTrailingSlash(QFileInfo(executable).path());
}
