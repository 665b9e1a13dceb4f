#include "engineinstances.h"

#include "libreoffice/process/engineprocess.h"

#include <QDir>
#include <QFile>

bool processGone(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return true;
    return status.readAll().contains("State:\tZ");
}

QSet<qint64> startedInstances()
{
    const QList<qint64> pids = EngineProcess::startedPids();
    return {pids.begin(), pids.end()};
}

QStringList ourInstanceFolders(qint64 pid)
{
    const QDir root(QDir::tempPath() + QStringLiteral("/quintarra-engine-%1").arg(getuid()));
    QStringList folders = root.entryList({QStringLiteral("%1-*").arg(pid)}, QDir::Dirs);
    folders.removeIf([](const QString &name) { return name.contains(QLatin1String("-prepared")); });
    return folders;
}
