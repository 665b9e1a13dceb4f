#pragma once

#include <QString>
#include <QTemporaryDir>

// A file system of the test's own: a tmpfs of a few pages mounted on a fresh
// folder, read-only if asked. Mounting needs root (or a sandbox that allows it);
// when it fails, mounted() is false and why() says what the system answered.
class SmallFileSystem
{
public:
    enum Mode { Writable, ReadOnly };
    explicit SmallFileSystem(qint64 bytes, Mode mode = Writable);
    ~SmallFileSystem();
    SmallFileSystem(const SmallFileSystem &) = delete;
    SmallFileSystem &operator=(const SmallFileSystem &) = delete;

    bool mounted() const { return mMounted; }
    QString why() const { return mWhy; }
    QString path() const { return mFolder.path(); }

    // Writes a file into the mounted file system until it holds no more.
    void fill() const;
    // Mounts it again read-only, keeping what it holds; false when refused.
    bool makeReadOnly() const;

private:
    QTemporaryDir mFolder;
    bool mMounted = false;
    QString mWhy;
};
