#pragma once

#include "libreoffice/layer.h"

#include <QList>
#include <QString>

#include <chrono>
#include <memory>

struct EngineConnection;
class EngineWatchdog;
struct HeldDocument;

// One headless LibreOffice (soffice.bin) of our own: a private profile, a
// private pipe, and a watchdog over every call. It can be started well before
// it is needed (start() returns at once) and connected to later.
//
// Nothing of it outlives its owner: quit() or the destructor ends the process
// and removes the profile, and the process is killed by the kernel should this
// program die first. start() must be called on a thread that lives as long as
// the instance (the main thread, or a thread of the spares' pool), because
// that death signal follows the thread that started the process. Once
// started, it may be used from one other thread at a time.
class EngineProcess
{
public:
    static constexpr std::chrono::milliseconds kDefaultCallTimeout{30000};
    // A chart of the longest list (32,766 rows: fill, save, picture) held at
    // most 224 MB of private memory in its instances; a workbook that needs
    // nine times that is taken for a hostile one.
    static constexpr qint64 kDefaultMemoryLimitMb = 2048;

    struct Options {
        std::chrono::milliseconds callTimeout = kDefaultCallTimeout;
        // A seeded profile skips the first-start work LibreOffice would
        // otherwise repeat at every headless start.
        bool seedProfile = true;
        // The engine's program; the installed soffice.bin unless set.
        QString program;
        // The private memory the instance may hold (RLIMIT_DATA); 0 for no limit.
        qint64 memoryLimitMb = kDefaultMemoryLimitMb;
        // Watches its calls; EngineWatchdog::shared() unless set.
        std::shared_ptr<EngineWatchdog> watchdog;
    };

    EngineProcess();
    explicit EngineProcess(const Options &options);
    ~EngineProcess();
    EngineProcess(const EngineProcess &) = delete;
    EngineProcess &operator=(const EngineProcess &) = delete;

    // Spawns the process and returns without waiting for it to answer (the
    // first start in a run of the program also prepares the profile that all
    // instances copy, about 0.15 s, under the call timeout). Throws
    // SpreadsheetError when it cannot be spawned.
    void start();
    // Starts when not started yet, then waits until the instance answers.
    // Throws SpreadsheetError when it does not come up.
    void waitUntilReady();
    bool isReady() const;
    // False once the process has ended, whoever ended it.
    bool isRunning();

    qint64 pid() const;
    QString profileFolder() const;
    // A private folder of this instance for files passed to and from it.
    QString scratchFolder() const;
    // Whether its profile and scratch folder are still there: a cleaner of the
    // temporary folder may have taken them from under a spare that idles, and
    // an instance without them fails at whatever it opens next.
    bool hasItsFolders() const;

    void setCallTimeout(std::chrono::milliseconds timeout);
    // Time each call may take beyond the call timeout from now on, for an
    // instance whose documents are known to make some calls long (a chart of
    // thousands of slices is saved and drawn for tens of seconds). The
    // largest allowance given so far holds.
    void allowLongerCalls(std::chrono::milliseconds extra);

    // A document the instance opens or writes: should the instance die, the
    // lock and save scratch files it leaves beside it are removed.
    void noteDocument(const QString &path);

    // A document opened ahead of need, for the first open() of a file with
    // the same bytes; the last one held is closed with the instance.
    void holdDocument(std::unique_ptr<HeldDocument> document);
    // The document held, when it was opened from these bytes; it is no longer
    // held then. Null otherwise.
    std::unique_ptr<HeldDocument> takeHeldDocument(const QByteArray &sourceBytes);

    // Kills the process at once, from any thread, as long as this object
    // lives; quit() still has to collect it.
    void kill();

    // Asks the instance to end, waits a grace period, then kills it; one that
    // never answered is stopped at once. Removes the profile and the pipes'
    // socket files. Never throws.
    void quit();

    // While one of these lives, a call that takes longer than the call timeout
    // gets the instance killed, so that the call fails instead of hanging.
    class WatchedCall
    {
    public:
        explicit WatchedCall(EngineProcess &engine);
        ~WatchedCall();
        WatchedCall(const WatchedCall &) = delete;
        WatchedCall &operator=(const WatchedCall &) = delete;

    private:
        EngineProcess &mEngine;
    };
    // Whether the watchdog has killed the instance.
    bool watchdogFired() const;
    // After a failed call: an instance that came near its memory limit is
    // ended (what failed for want of memory may have left it damaged), and
    // true is returned.
    bool endIfOutOfMemory();
    // A readable description of a failed call, naming the watchdog, the
    // memory limit or an unexpected end when one of them is the cause.
    QString describeFailure(const QString &action, const QString &detail);

    // The UNO side of the connection; only the adapter's own files use it.
    EngineConnection &connection();

    // The processes that EngineProcess objects of this program started and
    // that have not been reaped yet.
    static QList<qint64> startedPids();
    // Whether the process is an instance that this tool started, in this run
    // of the program or in another one beside it: it runs on a profile in the
    // tool's private folder.
    static bool isInstanceOfThisTool(qint64 pid);

    struct Private;

private:
    std::unique_ptr<Private> d;
};
