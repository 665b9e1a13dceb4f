#include "smallfilesystem.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

SmallFileSystem::SmallFileSystem(qint64 bytes, Mode mode)
{
    const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0700";
    const unsigned long flags = mode == ReadOnly ? MS_RDONLY : 0;
    if (::mount("tmpfs", QFile::encodeName(path()).constData(), "tmpfs", flags, options.constData()) == 0)
        mMounted = true;
    else
        mWhy = QStringLiteral("cannot mount a small file system here: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
}

SmallFileSystem::~SmallFileSystem()
{
    if (mMounted)
        ::umount2(QFile::encodeName(path()).constData(), MNT_DETACH);
}

void SmallFileSystem::fill() const
{
    const int fd = ::open(QFile::encodeName(path() + QStringLiteral("/filler")).constData(),
                          O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const QByteArray block(4096, 'f');
    while (::write(fd, block.constData(), size_t(block.size())) > 0) {
    }
    // tmpfs may still take the tail of a page.
    while (::write(fd, "f", 1) > 0) {
    }
    ::close(fd);
}

bool SmallFileSystem::makeReadOnly() const
{
    return mMounted
            && ::mount(nullptr, QFile::encodeName(path()).constData(), nullptr, MS_REMOUNT | MS_RDONLY,
                       nullptr) == 0;
}
