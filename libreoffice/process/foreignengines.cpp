#include "libreoffice/process/foreignengines.h"

#include "libreoffice/installation.h"
#include "libreoffice/process/engineprocess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace {

QString readSmallFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.read(4096)) : QString();
}

// Whether the process runs a LibreOffice program: its executable is
// "soffice.bin" in a program folder that carries LibreOffice's bootstrap file.
// A process that only calls itself "soffice.bin" is not.
bool runsLibreOffice(qint64 pid)
{
    QString executable = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
    // An executable replaced by an update while it runs.
    if (executable.endsWith(QLatin1String(" (deleted)")))
        executable.chop(10);
    const QFileInfo program(executable);
    if (program.fileName() != QLatin1String("soffice.bin"))
        return false;
    return Installation(program.absolutePath()).isLibreOffice();
}

} // namespace

QList<qint64> ForeignEnginePids()
{
    const QList<qint64> ours = EngineProcess::startedPids();
    const uint me = getuid();
    QList<qint64> found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric || pid == getpid() || ours.contains(pid))
            continue;
        if (readSmallFile(QStringLiteral("/proc/%1/comm").arg(pid)).trimmed() != QLatin1String("soffice.bin"))
            continue;
        const QString status = readSmallFile(QStringLiteral("/proc/%1/status").arg(pid));
        bool mine = false, zombie = false;
        for (const QString &line : status.split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String("Uid:")))
                mine = line.mid(4).simplified().section(QLatin1Char(' '), 0, 0).toUInt() == me;
            else if (line.startsWith(QLatin1String("State:")))
                zombie = line.mid(6).trimmed().startsWith(QLatin1Char('Z'));
        }
        // The headless instances of another Quintarra are not the user's
        // LibreOffice: the user cannot see or close them, and they end with
        // their program.
        if (mine && !zombie && runsLibreOffice(pid) && !EngineProcess::isInstanceOfThisTool(pid))
            found.append(pid);
    }
    return found;
}

QString ForeignEngineProductName(qint64 pid)
{
    const QString executable = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
    if (!executable.isEmpty()) {
        const QString key = Installation(QFileInfo(executable).absolutePath()).productKey();
        const qsizetype space = key.lastIndexOf(QLatin1Char(' '));
        if (space > 0)
            return key.left(space);
    }
    return Installation::ours().productName();
}
