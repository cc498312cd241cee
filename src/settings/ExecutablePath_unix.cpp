#include "ProgramFolder.h"

#include <QCoreApplication>

QString ExecutablePath() { return QCoreApplication::applicationFilePath(); }
