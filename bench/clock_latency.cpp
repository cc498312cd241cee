// How late the main window shows each new second, and what the idle window costs.
// Runs the real window (offscreen or on a display) for a given number of seconds with the
// server stopped, records when txtYourTime changes relative to the wall-clock second, and
// reads the process's CPU time. Prints one line per figure.
#include "DateText.h"
#include "frmMain.h"

#include <QApplication>
#include <QDateTime>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <optional>
#include <vector>

static double ProcessCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(3, atoi(argv[1])) : 10;

    frmMain w;
    w.show();
    std::vector<int> lateMs;
    const DateText texts;
    std::optional<DateValue> previous;
    int skipped = 0;
    const QLineEdit *txtYourTime = w.findChild<QLineEdit *>(QStringLiteral("txtYourTime"));
    QObject::connect(txtYourTime, &QLineEdit::textChanged, [&] {
        lateMs.push_back(int(QDateTime::currentMSecsSinceEpoch() % 1000));
        // A shown second that is not the one after the last shown is a skipped second.
        const auto shown = texts.Parse(txtYourTime->text());
        if (shown && previous && previous->secsTo(*shown) != 1)
            ++skipped;
        previous = shown;
    });

    double cpuStart = 0;
    qint64 wallStart = 0;
    // Settle for a second first: start-up work is not idle cost.
    QTimer::singleShot(1000, Qt::PreciseTimer, &app, [&] {
        lateMs.clear();
        skipped = 0;
        cpuStart = ProcessCpuSeconds();
        wallStart = QDateTime::currentMSecsSinceEpoch();
    });
    QTimer::singleShot(1000 + seconds * 1000, Qt::PreciseTimer, &app, [&] { app.quit(); });
    app.exec();

    const double cpu = ProcessCpuSeconds() - cpuStart;
    const double wall = (QDateTime::currentMSecsSinceEpoch() - wallStart) / 1000.0;
    std::sort(lateMs.begin(), lateMs.end());
    std::printf("seconds observed: %.1f, clock updates: %zu, seconds skipped: %d\n", wall, lateMs.size(), skipped);
    if (!lateMs.empty())
        std::printf("update after the second began: median %d ms, worst %d ms\n", lateMs[lateMs.size() / 2],
                    lateMs.back());
    std::printf("idle CPU: %.3f s in %.1f s = %.3f%% of one core\n", cpu, wall, 100.0 * cpu / wall);
    return 0;
}
