#include "CommandLine.h"

#include "FileLocations.h"
#include "ProgramFolder.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <cstdio>

bool WantsNoWindow(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "--headless" || a == "--help" || a == "-h" || a == "--help-all" || a == "--version" || a == "-v"
            || a == "-?")
            return true;
    }
    return false;
}

CommandLine ReadCommandLine(const QStringList &arguments, CommandLine::Program program)
{
    const bool daemon = program == CommandLine::Program::Daemon;
    const QString name = QCoreApplication::applicationName();
    // The window program's options for the window-less mode say so; the daemon has no other.
    const auto onlyWindowLess = [daemon](const QString &what) {
        return daemon ? what.front().toUpper() + what.mid(1) : QStringLiteral("With --headless: ") + what;
    };
    QCommandLineParser parser;
    const QString reply = QStringLiteral(
        "A time server: answers each piece of data a TCP client sends with the data, a colon and "
        "the UTC time (05DEC26220252).");
    const QString serving = QStringLiteral(
        "Serves at once on the options of Server.ini, "
        "which is read and never written, and reports on standard error. SIGTERM or "
        "SIGINT stop it once the replies queued for clients have left, SIGHUP reads "
        "Access.txt again, SIGUSR1 writes the counters, the busy slots and the clock's "
        "state. Whether the system clock is synchronised (on Linux: the kernel's maximum "
        "error below 16 s) shows at the start and at each change. Started by "
        "systemd with a socket unit, it serves on the sockets passed instead of the port.");
    const QString stampMonth = QStringLiteral("The stamp's month follows LC_ALL, else LC_TIME, else LANG.");
    parser.setApplicationDescription(
        daemon ? reply + u' ' + serving + u' ' + stampMonth
                     + QStringLiteral(" --headless is accepted and changes nothing.")
               : reply
                     + QStringLiteral(" Without options it opens its window and tray icon. The daylight option "
                                      "follows each change of the clocks by itself (checked when daylight time "
                                      "begins, unchecked when it ends), so the time stays UTC. ")
                     + stampMonth);
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption headless(QStringLiteral("headless"), QStringLiteral("No window, no tray, no display. ") + serving);
    if (daemon)
        headless.setFlags(QCommandLineOption::HiddenFromHelp);
    const QCommandLineOption folder(
        {QStringLiteral("f"), QStringLiteral("folder")},
        onlyWindowLess(QStringLiteral("the folder of Server.ini, Access.txt and Logs instead of those below.")),
        QStringLiteral("folder"));
    const QCommandLineOption metrics(
        QStringLiteral("metrics"),
        onlyWindowLess(QStringLiteral("serve Prometheus metrics over HTTP at /metrics, and a readiness check "
                                      "at /ready (503 while not serving, as when Access.txt's "
                                      "require-synchronised-clock is not met), on this literal address and port, "
                                      "such as 127.0.0.1:9161, [::1]:9161 or [::]:9161 (every address).")),
        QStringLiteral("address:port"));
    parser.addOptions({headless, folder, metrics});

    CommandLine result;
    auto fail = [&](const QString &why) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", qPrintable(name), qPrintable(why), qPrintable(name));
        result.exitNow = 2;
        return result;
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        std::fputs(qPrintable(parser.helpText() + u'\n' + FileLocations::OfThisCopy().Describe()), stdout);
        result.exitNow = 0;
        return result;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("%s %s\nFree software under the MIT licence.\n", qPrintable(name), TALLIX_VERSION);
        result.exitNow = 0;
        return result;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    result.headless = daemon || parser.isSet(headless);
    if (parser.isSet(folder)) {
        if (!result.headless)
            return fail(QStringLiteral("--folder goes with --headless"));
        const QDir dir(parser.value(folder));
        if (!dir.exists())
            return fail(QStringLiteral("no folder '%1'").arg(parser.value(folder)));
        result.files = FileLocations::InFolder(WithOneTrailingSlash(dir.absolutePath()));
    } else {
        result.files = FileLocations::OfThisCopy();
    }
    if (parser.isSet(metrics)) {
        if (!result.headless)
            return fail(QStringLiteral("--metrics goes with --headless"));
        result.metrics = ListenAddress::FromText(parser.value(metrics));
        if (!result.metrics)
            return fail(QStringLiteral("--metrics wants an address and port such as 127.0.0.1:9161 or [::1]:9161, "
                                       "not '%1'")
                            .arg(parser.value(metrics)));
    }
    return result;
}
