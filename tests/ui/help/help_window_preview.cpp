// Shows the help window on its own, reading Readme.txt from the folder given
// (the source's resources/ folder by default), for looking at it and for
// taking the screenshot in docs/. Closing the window ends it.
#include "frmHelp.h"

#include <QApplication>
#include <QDir>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    const QString folder = QDir(arguments.value(1, QStringLiteral(TALLIX_RESOURCES))).absolutePath() + "/";
    frmHelp window([folder] { return folder; });
    window.show();
    return app.exec();
}
