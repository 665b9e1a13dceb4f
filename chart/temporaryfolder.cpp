#include "chart/temporaryfolder.h"

#include "ground/failure.h"
#include "ground/privatefolder.h"

#include <QDir>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

extern char **environ;

namespace {

bool isPrivateFolderOfOurs(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode)
            && info.st_uid == ::geteuid() && (info.st_mode & 0077) == 0;
}

} // namespace

QString EnvironmentValueAnyCase(const QString &name)
{
    const QByteArray wanted = name.toLocal8Bit();
    QString found;
    for (char **entry = environ; entry && *entry; ++entry) {
        const char *text = *entry;
        const char *equals = std::strchr(text, '=');
        if (!equals)
            continue;
        const QByteArray key(text, equals - text);
        if (key.compare(wanted, Qt::CaseInsensitive) != 0)
            continue;
        const QString value = QString::fromLocal8Bit(equals + 1);
        if (key == wanted)
            return value;
        if (found.isNull())
            found = value;
    }
    return found;
}

QString PrivateTemporaryFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString what = QStringLiteral("temporary folder");
    if (QDir::isAbsolutePath(runtime) && isPrivateFolderOfOurs(runtime))
        return MakePrivateFolder(runtime + QStringLiteral("/quintarra"), what);
    return MakePrivateFolder(QDir::tempPath() + QStringLiteral("/quintarra-") + QString::number(::geteuid()), what);
}

QString TemporaryFolder()
{
    const QString temp = EnvironmentValueAnyCase(QStringLiteral("TEMP"));
    if (!temp.isEmpty())
        return temp;
    return PrivateTemporaryFolder();
}

QString TemporaryFilePath(const QString &name)
{
    return TemporaryFolder() + QLatin1Char('/') + name;
}

void RestrictToOwner(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw Failure(QStringLiteral("Cannot protect %1: %2").arg(path, SystemWords(errno)));
    struct stat info {};
    QString problem;
    if (::fstat(fd, &info) != 0)
        problem = SystemWords(errno);
    else if (!S_ISREG(info.st_mode))
        problem = QStringLiteral("it is not a plain file");
    else if (::fchmod(fd, 0600) != 0)
        problem = SystemWords(errno);
    ::close(fd);
    if (!problem.isEmpty())
        throw Failure(QStringLiteral("Cannot protect %1: %2").arg(path, problem));
}

FixedNameLock::~FixedNameLock()
{
    release();
}

void FixedNameLock::acquire(const QString &folder, const QString &name, std::chrono::milliseconds wait,
                            std::stop_token stop)
{
    release();
    const QString path = folder + QStringLiteral("/.") + name + QStringLiteral(".lock");
    const QByteArray native = QFile::encodeName(path);
    const auto deadline = std::chrono::steady_clock::now() + wait;
    const auto cannot = [&](int error) {
        return TemporaryFileError(QStringLiteral("Cannot lock %1: %2").arg(path, SystemWords(error)));
    };

    while (true) {
        // Read-only is enough for flock, and lets a lock file that another
        // user created serve this one too.
        int fd = ::open(native.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT) {
            fd = ::open(native.constData(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
            if (fd < 0 && errno == EEXIST)
                continue;
        }
        if (fd < 0)
            throw cannot(errno);
        struct stat opened {};
        if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
            const int error = errno;
            ::close(fd);
            if (!S_ISREG(opened.st_mode))
                throw TemporaryFileError(QStringLiteral("Cannot lock %1: it is not a plain file.").arg(path));
            throw cannot(error);
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            // The holder before us removes the file as it lets go: only a lock
            // on the file that is still at the path counts.
            struct stat current {};
            if (::lstat(native.constData(), &current) == 0 && current.st_dev == opened.st_dev
                && current.st_ino == opened.st_ino) {
                mFd = fd;
                mPath = path;
                return;
            }
            ::close(fd);
            continue;
        }
        const int error = errno;
        ::close(fd);
        if (error != EWOULDBLOCK)
            throw cannot(error);
        if (stop.stop_requested())
            throw TemporaryFileError(QStringLiteral("The wait for %1 in %2 was cancelled.").arg(name, folder));
        if (std::chrono::steady_clock::now() > deadline)
            throw TemporaryFileError(
                    QStringLiteral("Another copy of Quintarra has been using %1 in %2 for more than %3 seconds; "
                                   "please try again when it is done.")
                            .arg(name, folder)
                            .arg(wait.count() / 1000.0));
        QThread::msleep(20);
    }
}

void FixedNameLock::release()
{
    if (mFd < 0)
        return;
    ::unlink(QFile::encodeName(mPath).constData());
    ::close(mFd);
    mFd = -1;
    mPath.clear();
}
