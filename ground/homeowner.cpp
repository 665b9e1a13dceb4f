#include "ground/homeowner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

std::optional<FileOwner> HomeOwnerFor(const QString &path)
{
    if (::geteuid() != 0)
        return std::nullopt;
    const QString home = QDir::cleanPath(qEnvironmentVariable("HOME"));
    if (!QDir::isAbsolutePath(home) || home == QStringLiteral("/"))
        return std::nullopt;
    const QString inside = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    if (!inside.startsWith(home + QLatin1Char('/')))
        return std::nullopt;
    struct stat info {};
    if (::stat(QFile::encodeName(home).constData(), &info) != 0 || info.st_uid == 0)
        return std::nullopt;
    return FileOwner{info.st_uid, info.st_gid};
}

bool GiveToHomeOwner(const QString &path)
{
    const std::optional<FileOwner> owner = HomeOwnerFor(path);
    return !owner || ::lchown(QFile::encodeName(path).constData(), owner->uid, owner->gid) == 0;
}
