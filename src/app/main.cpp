#include "DisplayCheck.h"
#include "ShutdownSignals.h"
#include "frmMain.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    const QString noDisplay = MissingDisplayReason();
    if (!noDisplay.isEmpty()) {
        std::fprintf(stderr,
                     "tallix-server: %s; to run without a window, start it with "
                     "QT_QPA_PLATFORM=offscreen\n",
                     qPrintable(noDisplay));
        return 2;
    }

    QApplication app(argc, argv);
    frmMain w;
    w.show();

    ShutdownSignals shutdown;
    QObject::connect(&shutdown, &ShutdownSignals::Requested, &w, &QWidget::close);
    return app.exec();
}
