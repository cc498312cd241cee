#include "frmMain.h"

frmMain::frmMain(QWidget *parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("Tallix Server"));
}
