#include "libreoffice/installation.h"

#include <QSettings>

Installation Installation::ours()
{
    return Installation(QStringLiteral("/usr/lib/libreoffice/program"));
}

QString Installation::productKey() const
{
    const QSettings bootstrap(mFolder + QStringLiteral("/bootstraprc"), QSettings::IniFormat);
    return bootstrap.value(QStringLiteral("Bootstrap/ProductKey")).toString();
}

QString Installation::productName() const
{
    const QString key = productKey();
    const qsizetype space = key.lastIndexOf(QLatin1Char(' '));
    return space > 0 ? key.left(space) : key;
}

QString Installation::productVersion() const
{
    const QString key = productKey();
    const qsizetype space = key.lastIndexOf(QLatin1Char(' '));
    return space > 0 ? key.mid(space + 1) : QString();
}

bool Installation::isLibreOffice() const
{
    return productKey().contains(QLatin1String("Office"));
}
