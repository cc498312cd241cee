#pragma once
// The kernel's clock state changed for real through tests/tools/kernel-clock.sh, whose
// guard CTest runs the test under.
#include <QProcess>
#include <QString>

// Empty when the state may be changed here, else why not.
inline QString KernelClockRefused()
{
    return qEnvironmentVariableIsEmpty("TALLIX_KERNEL_CLOCK")
               ? qEnvironmentVariable("TALLIX_KERNEL_CLOCK_SKIP", QStringLiteral("not run under kernel-clock.sh guard"))
               : QString();
}

// "sync" or "unsync".
inline bool KernelClock(const char *step)
{
    const QStringList guard = qEnvironmentVariable("TALLIX_KERNEL_CLOCK").split(u' ');
    return QProcess::execute(guard[0], {QString::fromLatin1(step), guard.value(1)}) == 0;
}
