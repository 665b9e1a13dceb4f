#include "ground/filereplace.h"

#include "ground/failure.h"
#include "ground/homeowner.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void fail(const QString &path, int error)
{
    throw Failure(QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(path), SystemWords(error)));
}

// The new content is written beside the target under a hidden name of this form.
const QString kPartPrefix = QStringLiteral(".Quintarra-");
const QString kPartSuffix = QStringLiteral(".part");

// An open descriptor of the file being written, removed again unless it was put in place.
class PartFile
{
public:
    explicit PartFile(const QString &folder, mode_t mode)
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            mPath = QDir(folder).filePath(kPartPrefix
                                          + QStringLiteral("%1").arg(QRandomGenerator::global()->generate64(), 16,
                                                                     16, QLatin1Char('0'))
                                          + kPartSuffix);
            mFd = ::open(QFile::encodeName(mPath).constData(),
                         O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
            if (mFd >= 0)
                return;
            if (errno != EEXIST)
                break;
        }
        const int error = errno;
        mPath.clear();   // not ours to remove
        errno = error;
    }
    ~PartFile()
    {
        if (mFd >= 0)
            ::close(mFd);
        if (!mPlaced && !mPath.isEmpty())
            ::unlink(QFile::encodeName(mPath).constData());
    }
    PartFile(const PartFile &) = delete;
    PartFile &operator=(const PartFile &) = delete;

    int fd() const { return mFd; }
    QByteArray encodedPath() const { return QFile::encodeName(mPath); }
    // close() reports what the disk said last on some file systems (NFS); it counts.
    int close()
    {
        const int result = ::close(mFd);
        mFd = -1;
        return result;
    }
    void placed() { mPlaced = true; }

private:
    QString mPath;
    int mFd = -1;
    bool mPlaced = false;
};

int writeAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (written == 0)
            return ENOSPC;
        data += written;
        left -= written;
    }
    return 0;
}

// A file system that cached the write and then lost it shows here, before the
// old file is given up.
bool readsBackAs(int fd, const QByteArray &bytes)
{
    QByteArray chunk(qMin<qsizetype>(bytes.size(), 1 << 16) + 1, Qt::Uninitialized);
    qsizetype offset = 0;
    for (;;) {
        const ssize_t got = ::pread(fd, chunk.data(), size_t(chunk.size()), off_t(offset));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (got == 0)
            return offset == bytes.size();
        if (offset + got > bytes.size()
            || std::memcmp(chunk.constData(), bytes.constData() + offset, size_t(got)) != 0)
            return false;
        offset += got;
    }
}

} // namespace

namespace {

// What ReplaceFile does, with the content written by `write` (answering 0 or
// the system's error) and checked by `readsBack` once it is on the disk.
void replaceWith(const QString &path, FileAccess access, FileOwnership ownership,
                 const std::function<int(int fd)> &write, const std::function<bool(int fd)> &readsBack)
{
    const QByteArray target = QFile::encodeName(path);
    const QString folder = QFileInfo(path).absolutePath();

    mode_t mode = access == FileAccess::Document ? 0666 : 0600;
    const bool durable = access != FileAccess::Scratch;
    bool keepMode = false;
    std::optional<FileOwner> owner;
    struct stat old {};
    const bool existed = ::lstat(target.constData(), &old) == 0;
    if (existed) {
        if (S_ISDIR(old.st_mode))
            fail(path, EISDIR);
        if (S_ISREG(old.st_mode) && access == FileAccess::Document) {
            if ((old.st_mode & 0222) == 0)
                fail(path, EACCES);
            if (::access(target.constData(), W_OK) != 0)
                fail(path, errno);
            mode = old.st_mode & 07777;
            keepMode = true;
        }
    }
    if (ownership == FileOwnership::Kept)
        owner = existed && S_ISREG(old.st_mode) ? FileOwner{old.st_uid, old.st_gid} : HomeOwnerFor(path);

    PartFile part(folder, mode);
    if (part.fd() < 0)
        fail(path, errno);
    // Given away before the first byte, so that not even a part left by a kill
    // is the wrong user's. Where the system refuses (a user replacing another's
    // file in their own folder), the file becomes the writer's, as an editor's does.
    if (owner && (owner->uid != ::geteuid() || owner->gid != ::getegid())) {
        [[maybe_unused]] const int refused = ::fchown(part.fd(), owner->uid, owner->gid);
    }
    if (const int error = write(part.fd()))
        fail(path, error);
    if (keepMode && ::fchmod(part.fd(), mode) != 0)
        fail(path, errno);
    if (durable && ::fsync(part.fd()) != 0)
        fail(path, errno);
    if (durable && !readsBack(part.fd()))
        throw Failure(QStringLiteral("Cannot write %1: the written file reads back differently")
                              .arg(QDir::toNativeSeparators(path)));
    if (part.close() != 0)
        fail(path, errno);

    if (::rename(part.encodedPath().constData(), target.constData()) != 0)
        fail(path, errno);
    part.placed();

    // The new name itself must reach the disk, or a power cut could bring the old file back
    // (or none at all on some file systems).
    if (!durable)
        return;
    const int dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

} // namespace

void ReplaceFile(const QString &path, const QByteArray &bytes, FileAccess access, FileOwnership ownership)
{
    replaceWith(
            path, access, ownership, [&bytes](int fd) { return writeAll(fd, bytes); },
            [&bytes](int fd) { return readsBackAs(fd, bytes); });
}

void ReplaceScratchFile(const QString &path, const std::function<bool(QIODevice &)> &write)
{
    replaceWith(
            path, FileAccess::Scratch, FileOwnership::Writer,
            [&write](int fd) {
                QFile file;
                if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
                    return EBADF;
                errno = 0;
                if (write(file) && file.flush())
                    return 0;
                return errno ? errno : EIO;
            },
            {});   // a scratch file is not read back
}

void RemoveLeftoverParts(const QString &folder, std::chrono::seconds unchangedFor)
{
    const QDateTime before = QDateTime::currentDateTime().addSecs(-unchangedFor.count());
    const QFileInfoList parts =
            QDir(folder).entryInfoList({kPartPrefix + QLatin1Char('*') + kPartSuffix}, QDir::Files | QDir::Hidden);
    for (const QFileInfo &part : parts) {
        if (part.lastModified() < before)
            QFile::remove(part.absoluteFilePath());
    }
}

QByteArray ReadWholeFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw Failure(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    return bytes;
}

void CopyFileReplacing(const QString &source, const QString &destination)
{
    ReplaceFile(destination, ReadWholeFile(source), FileAccess::Document);
}

QString FollowLinks(const QString &path)
{
    QString current = path;
    for (int hop = 0; hop < 40; ++hop) {
        const QByteArray encoded = QFile::encodeName(current);
        struct stat info {};
        if (::lstat(encoded.constData(), &info) != 0 || !S_ISLNK(info.st_mode))
            return current;
        QByteArray target(qMax<qsizetype>(info.st_size, 255) + 1, '\0');
        const ssize_t size = ::readlink(encoded.constData(), target.data(), size_t(target.size()));
        if (size < 0)
            fail(current, errno);
        target.truncate(size);
        current = QFileInfo(current).absoluteDir().filePath(QFile::decodeName(target));
    }
    fail(path, ELOOP);
}
