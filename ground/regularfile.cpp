#include "ground/regularfile.h"

#include "ground/failure.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString notAFile(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("It is a folder, not a file.");
    if (S_ISFIFO(mode))
        return QStringLiteral("It is a named pipe, not a file.");
    if (S_ISSOCK(mode))
        return QStringLiteral("It is a socket, not a file.");
    return QStringLiteral("It is a device, not a file.");
}

} // namespace

RegularFile::RegularFile(const QString &path)
{
    // O_NONBLOCK: opening a named pipe for reading would otherwise wait for a
    // writer that never comes, and no signal would end the wait. O_NOCTTY: a
    // terminal is not made ours by opening it.
    mFd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (mFd < 0)
        throw Failure(SystemWords(errno) + QLatin1Char('.'));
    // Asked of what was opened, not of the name, which may have changed since.
    struct stat info {};
    if (::fstat(mFd, &info) != 0) {
        const int error = errno;
        ::close(mFd);
        throw Failure(SystemWords(error) + QLatin1Char('.'));
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(mFd);
        throw Failure(notAFile(info.st_mode));
    }
    // A regular file reads the same either way; some network file systems answer
    // "try again" to a read without waiting.
    ::fcntl(mFd, F_SETFL, ::fcntl(mFd, F_GETFL) & ~O_NONBLOCK);
}

RegularFile::~RegularFile()
{
    ::close(mFd);
}

QByteArray RegularFile::read(qsizetype max)
{
    QByteArray bytes(max, Qt::Uninitialized);
    qsizetype got = 0;
    while (got < max) {
        const ssize_t n = ::read(mFd, bytes.data() + got, size_t(max - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw Failure(SystemWords(errno) + QLatin1Char('.'));
        if (n == 0)
            break;
        got += n;
    }
    bytes.truncate(got);
    return bytes;
}

void RegularFile::rewind()
{
    if (::lseek(mFd, 0, SEEK_SET) != 0)
        throw Failure(SystemWords(errno) + QLatin1Char('.'));
}
