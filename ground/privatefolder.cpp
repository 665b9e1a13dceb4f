#include "ground/privatefolder.h"

#include "ground/failure.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString MakePrivateFolder(const QString &path, const QString &what)
{
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        throw Failure(QStringLiteral("Cannot create the %1 %2: %3").arg(what, path, SystemWords(errno)));

    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        throw Failure(QStringLiteral("The %1 %2 is not a folder of its own: %3").arg(what, path, SystemWords(errno)));
    struct stat info {};
    QString problem;
    if (::fstat(fd, &info) != 0)
        problem = SystemWords(errno);
    else if (info.st_uid != ::geteuid())
        problem = QStringLiteral("it belongs to another user");
    else if ((info.st_mode & 07777) != 0700 && ::fchmod(fd, 0700) != 0)
        problem = SystemWords(errno);
    ::close(fd);
    if (!problem.isEmpty())
        throw Failure(QStringLiteral("The %1 %2 cannot be used: %3").arg(what, path, problem));
    return path;
}
