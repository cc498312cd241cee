#include "Pictures.h"

QIcon Pictures::ProgramIcon() { return QIcon(QStringLiteral(":/pictures/tallix.png")); }

QIcon Pictures::IdleIcon() { return QIcon(QStringLiteral(":/pictures/tallix-idle.png")); }
