#pragma once
#include "TrayBackend.h"

// For sessions without any notification area (a headless platform): shows nothing.
class NullTrayBackend : public TrayBackend
{
public:
    void Show(const QIcon &, const QString &) override {}
    void Update(const QIcon &, const QString &) override {}
    void Hide() override {}
    QString Name() const override { return QStringLiteral("none"); }
};
