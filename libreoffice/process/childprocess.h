#pragma once

#include "libreoffice/layer.h"

#include <QByteArrayList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <mutex>

// One engine process, spawned with fork and exec rather than QProcess so that
// any thread may wait for it and reap it: spares are connected and warmed,
// and quitting instances collected, away from the user-interface thread.
//
// The kernel kills the process when the thread that spawned it ends, so spawn
// only on a thread that lives as long as the process may (the main thread, or
// a thread of the spares' pool, which ends them before it ends).
class ChildProcess
{
public:
    ChildProcess() = default;
    ~ChildProcess();   // kills and reaps a process still running
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // Throws SpreadsheetError when the program cannot be started. A data
    // limit above 0 bounds the process's private memory (RLIMIT_DATA): its
    // allocations beyond it fail.
    void spawn(const QString &program, const QStringList &arguments, const QString &scratchFolder,
               qint64 dataLimitBytes = 0);

    qint64 pid() const { return mPid.load(); }
    // True once the process has ended and been reaped; never blocks.
    bool hasEnded();
    // Waits up to the given time for the end; true when it ended.
    bool waitForEnd(int milliseconds);
    // The exit code, or -1 when it was ended by a signal or has not ended.
    int exitCode() const;
    // The most memory the process has held resident so far, or held at its
    // end; 0 when unknown.
    qint64 peakResidentBytes() const;
    // Sends a signal to a process not reaped yet (never to a reused id).
    void signal(int number);
    void killAndReap();

    // The environment of every instance: the program's own, with scratch
    // files sent to the instance's private folder and a character type in
    // which any file name can be read.
    static QByteArrayList environmentFor(const QString &scratchFolder);
    // Whether the process runs in a network of its own.
    static bool isIsolatedFromNetwork(qint64 pid);

private:
    mutable std::mutex mMutex;
    // Set on the thread that starts the process, read from any.
    std::atomic<qint64> mPid = 0;
    bool mReaped = false;
    int mStatus = 0;
    qint64 mPeakResidentBytes = 0;   // when reaped
};
