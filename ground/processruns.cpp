#include "ground/processruns.h"

#include "ground/failure.h"
#include "ground/privatefolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace ProcessRuns {

bool processExists(qint64 pid)
{
    return pid > 0 && QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid));
}

QList<QByteArray> processStatFields(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = stat.readAll();
    // The command name in parentheses may hold spaces; the fields after it
    // are plain.
    const qsizetype close = text.lastIndexOf(')');
    if (close < 0)
        return {};
    return text.mid(close + 2).trimmed().split(' ');
}

namespace {

// The start time is the 22nd field, the 20th after the name. A program that
// has died but whose parent has not collected it yet is dead: none.
QString startTicksIn(const QList<QByteArray> &statFields)
{
    if (statFields.size() <= 19 || statFields.at(0) == "Z" || statFields.at(0) == "X")
        return {};
    return QString::fromLatin1(statFields.at(19));
}

} // namespace

QString processStartTicks(qint64 pid)
{
    return startTicksIn(processStatFields(pid));
}

bool runIsAlive(qint64 pid, const QString &startTicks)
{
    if (pid <= 0 || startTicks.isEmpty())
        return false;
    const QList<QByteArray> fields = processStatFields(pid);
    if (fields.isEmpty())
        return processExists(pid);
    return startTicksIn(fields) == startTicks;
}

QString runName()
{
    static const QString name = QStringLiteral("%1-%2").arg(getpid()).arg(processStartTicks(getpid()));
    return name;
}

QString privateFolderName()
{
    return QStringLiteral("quintarra-engine-%1").arg(getuid());
}

QString privateFolder()
{
    return MakePrivateFolder(QDir::tempPath() + QLatin1Char('/') + privateFolderName(), QStringLiteral("folder"));
}

QStringList readListFile(const QString &path)
{
    QFile list(path);
    if (!list.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(list.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace ProcessRuns
