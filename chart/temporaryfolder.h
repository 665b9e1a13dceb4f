#pragma once

#include "chart/layer.h"

#include "ground/failure.h"

#include <QString>

#include <chrono>
#include <stop_token>

// Where the chart command keeps its working files.

// The value of the environment variable whose name matches without regard to
// case, as names are matched on the platform the tool comes from: "temp" and
// "TEMP" are the same variable. An exact match wins; unset gives the null text.
QString EnvironmentValueAnyCase(const QString &name);

// The value of "TEMP" when it is set and not empty, used as it stands.
// Otherwise a folder private to this user (see PrivateTemporaryFolder()).
// Throws a Failure when no safe folder can be had.
QString TemporaryFolder();

// TemporaryFolder(), "/", name.
QString TemporaryFilePath(const QString &name);

// A folder only this user can enter: "quintarra" under $XDG_RUNTIME_DIR when
// that is a private folder of ours, else "quintarra-<uid>" in the system's
// temporary folder. Created with mode 0700; an existing one must be a real
// folder (not a link) owned by this user, and is narrowed to 0700. Fixed file
// names in a shared folder such as /tmp would let another user plant a link
// there and have us write through it.
QString PrivateTemporaryFolder();

// Narrows the file to its owner (mode 0600). A link at the path is not
// followed: it fails, as does a path that is not a plain file.
void RestrictToOwner(const QString &path);

// A working file of the command could not be had: the folder cannot be used,
// the name is taken by a file this user cannot replace, or another copy of the
// program kept it too long. Nothing that follows can work without the file.
class TemporaryFileError : public Failure
{
public:
    using Failure::Failure;
};

// Serializes the use of one fixed file name ("Pie Chart.xlt", "temp.bmp")
// among copies of the program that share a temporary folder: an advisory lock
// (flock) on a hidden file beside it, ".<name>.lock". The lock file is removed
// when the lock is let go; a waiter that then finds its file gone starts over
// on a new one, so that two copies never both hold the name.
class FixedNameLock
{
public:
    static constexpr std::chrono::milliseconds kDefaultWait{30000};

    FixedNameLock() = default;
    ~FixedNameLock();
    FixedNameLock(const FixedNameLock &) = delete;
    FixedNameLock &operator=(const FixedNameLock &) = delete;

    // Waits up to wait for the name to be free. Throws TemporaryFileError when
    // the lock file cannot be opened or another copy holds it longer, or at
    // once when stop is requested while it waits.
    void acquire(const QString &folder, const QString &name, std::chrono::milliseconds wait = kDefaultWait,
                 std::stop_token stop = {});
    // Removes the lock file and lets go. Never throws.
    void release();

private:
    int mFd = -1;
    QString mPath;
};
