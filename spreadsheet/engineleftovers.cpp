#include "spreadsheet/engineleftovers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

bool IsThisUsersFile(const QString &path, qint64 notBeforeSecs)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode)
            && info.st_uid == getuid() && info.st_mtime >= notBeforeSecs;
}

QString EngineLockFileOf(const QString &document)
{
    const QFileInfo info(document);
    return info.path() + QStringLiteral("/.~lock.") + info.fileName() + QLatin1Char('#');
}

void RemoveEngineLeftoversBeside(const QString &document, qint64 notBeforeSecs)
{
    const QString lock = EngineLockFileOf(QFileInfo(document).absoluteFilePath());
    if (IsThisUsersFile(lock))
        QFile::remove(lock);
    const QDir folder = QFileInfo(document).absoluteDir();
    const QStringList scratch = folder.entryList({QStringLiteral("lu*.tmp")}, QDir::Files | QDir::Hidden);
    for (const QString &name : scratch) {
        const QString path = folder.filePath(name);
        if (IsThisUsersFile(path, notBeforeSecs))
            QFile::remove(path);
    }
}
