#include "chart/ownedworkbooks.h"

#include "chart/chartcommand.h"
#include "chart/engineregistry.h"
#include "shell/filereplace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>

#include <exception>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QMutex recordMutex;

const QString kRecordPrefix = QStringLiteral("workbooks-");

// The record holds one absolute path a line.
QString recordPath(const QString &root)
{
    return root + QLatin1Char('/') + kRecordPrefix + EngineRegistry::runName();
}

void writeRecord(const QString &path, const QStringList &lines)
{
    if (lines.isEmpty()) {
        QFile::remove(path);
        return;
    }
    // Whole or not at all: a record cut short by a full disk would let the next
    // start keep a workbook of a killed run for ever.
    try {
        ReplaceFile(path, lines.join(QLatin1Char('\n')).toUtf8() + '\n', FileAccess::OwnerOnly);
    } catch (const std::exception &) {
    }
}

bool isThisUsersFile(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode)
            && info.st_uid == getuid();
}

QString absolute(const QString &path)
{
    return QFileInfo(path).absoluteFilePath();
}

bool runIsAlive(const QString &recordName)
{
    const QString rest = recordName.mid(kRecordPrefix.size());
    const qint64 pid = rest.section(QLatin1Char('-'), 0, 0).toLongLong();
    const QString ticks = rest.section(QLatin1Char('-'), 1);
    return EngineRegistry::runIsAlive(pid, ticks);
}

} // namespace

namespace OwnedWorkbooks {

void claim(const QString &path)
{
    try {
        QMutexLocker lock(&recordMutex);
        const QString record = recordPath(EngineRegistry::privateRoot());
        QStringList lines = EngineRegistry::readListFile(record);
        lines.append(absolute(path));
        writeRecord(record, lines);
    } catch (const std::exception &) {
        // Without a record the workbook is only not swept after a kill.
    }
}

QString remove(const QString &path)
{
    if (path.isEmpty())
        return {};
    QFile workbook(path);
    if (workbook.exists() && !workbook.remove())
        return workbook.errorString();
    try {
        QMutexLocker lock(&recordMutex);
        const QString record = recordPath(EngineRegistry::privateRoot());
        QStringList lines = EngineRegistry::readListFile(record);
        const QString target = absolute(path);
        lines.removeAll(target);
        writeRecord(record, lines);
    } catch (const std::exception &) {
    }
    return {};
}

void removeThoseOfDeadRuns()
{
    try {
        const QString root = EngineRegistry::privateRoot();
        const QStringList records = QDir(root).entryList({kRecordPrefix + QLatin1Char('*')}, QDir::Files);
        for (const QString &name : records) {
            if (runIsAlive(name))
                continue;
            const QString record = root + QLatin1Char('/') + name;
            for (const QString &path : EngineRegistry::readListFile(record)) {
                const QFileInfo file(path);
                // Only a workbook of ours by its name, and this user's.
                if (!file.fileName().startsWith(kWorkbookPrefix)
                    || !file.fileName().endsWith(QLatin1String(".xls")) || !isThisUsersFile(path))
                    continue;
                QFile::remove(path);
                EngineRegistry::removeLeftoversBeside(path, file.lastModified().toSecsSinceEpoch() - 60);
            }
            QFile::remove(record);
        }
    } catch (const std::exception &) {
    }
}

} // namespace OwnedWorkbooks
