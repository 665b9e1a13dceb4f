#include "ground/applicationidentity.h"

#include <QGuiApplication>

QIcon ProgramIcon()
{
    QIcon builtIn;
    for (int size : {16, 32, 48, 64, 128, 256})
        builtIn.addFile(QStringLiteral(":/icons/hicolor/%1.png").arg(size), QSize(size, size));
    return QIcon::fromTheme(kDesktopEntryName, builtIn);
}

void SetApplicationIdentity(const QString &version)
{
    // The settings live in a file named by the settings store, not after the
    // application name, so naming the application moves nothing.
    QCoreApplication::setApplicationName(kWindowClass);
    QCoreApplication::setApplicationVersion(version);
    QGuiApplication::setDesktopFileName(kDesktopEntryName);
    QGuiApplication::setWindowIcon(ProgramIcon());
}
