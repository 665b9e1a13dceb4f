#include "libreoffice/process/engineprocess.h"

#include "ground/processruns.h"
#include "libreoffice/disk/engineprofile.h"
#include "libreoffice/disk/engineregistry.h"
#include "libreoffice/installation.h"
#include "libreoffice/process/childprocess.h"
#include "libreoffice/process/engineconnection.h"
#include "libreoffice/process/enginewatchdog.h"
#include "libreoffice/process/helddocument.h"
#include "libreoffice/unocall.h"
#include "spreadsheet/spreadsheetserver.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <atomic>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

const QString kProgramFolder = Installation::ours().programFolder();
constexpr int kMaxRestarts = 3;
constexpr auto kPollStep = 20ms;
constexpr int kQuitGraceMs = 5000;
constexpr auto kTerminateTimeout = 10s;

// LibreOffice aborts at start, saying nothing useful, when it cannot enter a
// folder it shares with the other users of the machine: its extension cache,
// made by whoever started it first, with that user's umask. The first such
// folder, with the system's words for why; empty when all can be entered.
QString unenterableSharedFolder()
{
    const QString shared = QDir::cleanPath(kProgramFolder + QStringLiteral("/../share/uno_packages"));
    QStringList folders{shared};
    QDirIterator it(shared, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
    while (it.hasNext())
        folders.append(it.next());
    for (const QString &folder : std::as_const(folders)) {
        if (::access(QFile::encodeName(folder).constData(), R_OK | X_OK) != 0)
            return QStringLiteral("%1 (%2)").arg(QFileInfo(folder).canonicalFilePath(), SystemWords(errno));
    }
    return {};
}

} // namespace

struct EngineProcess::Private {
    Options options;
    QString folder;   // this instance's private folder: profile and scratch
    QString pipe;
    ChildProcess child;
    bool spawned = false;
    qint64 startedAt = 0;   // seconds since the epoch
    int restarts = 0;
    bool ready = false;
    QStringList pipeFiles;
    EngineConnection connection;
    std::unique_ptr<HeldDocument> held;

    // Watched calls nest; the outermost one's deadline counts.
    int depth = 0;
    quint64 watchTicket = 0;
    std::atomic_bool fired = false;
    std::chrono::milliseconds allowance{0};
    bool outOfMemory = false;

    QString program() const
    {
        return options.program.isEmpty() ? kProgramFolder + QStringLiteral("/soffice.bin") : options.program;
    }
    void spawn();
    void arm(std::chrono::milliseconds timeout);
    std::chrono::milliseconds watchedTime() const { return options.callTimeout + allowance; }
    void disarm();
    void notePipeFiles();
    void cleanUp(bool endedBadly);
};

void EngineProcess::Private::spawn()
{
    child.spawn(program(),
                EngineProfile::headlessSwitches()
                        << QStringLiteral("--accept=pipe,name=%1;urp;StarOffice.ComponentContext").arg(pipe)
                        << EngineProfile::profileArgument(EngineRegistry::profileFolderOf(folder)),
                folder + QStringLiteral("/scratch"), options.memoryLimitMb * 1024 * 1024);
    spawned = true;
}

void EngineProcess::Private::arm(std::chrono::milliseconds timeout)
{
    if (depth++ > 0)
        return;
    watchTicket = options.watchdog->arm(std::chrono::steady_clock::now() + timeout, [this] {
        // The call is still waiting for an instance that stopped answering:
        // killing it breaks the connection, so the call fails.
        fired = true;
        child.signal(SIGKILL);
    });
}

void EngineProcess::Private::disarm()
{
    if (--depth > 0)
        return;
    options.watchdog->disarm(watchTicket);
    watchTicket = 0;
}

void EngineProcess::Private::notePipeFiles()
{
    bool added = false;
    for (const QString &path : EngineRegistry::pipeFilesHeldBy(child.pid())) {
        if (!pipeFiles.contains(path)) {
            pipeFiles.append(path);
            added = true;
        }
    }
    if (!added)
        return;
    // LibreOffice makes them with the umask; only we may connect.
    EngineRegistry::restrictPipeFiles(pipeFiles);
    if (!folder.isEmpty())
        EngineRegistry::notePipeFiles(folder, pipeFiles);
}

void EngineProcess::Private::cleanUp(bool endedBadly)
{
    connection.desktop.clear();
    connection.context.clear();
    // A killed instance leaves its pipes' socket files behind, even one
    // killed before it ever answered.
    if (!pipe.isEmpty())
        pipeFiles.append(EngineConnector::pipePath(pipe));
    if (!folder.isEmpty())
        pipeFiles.append(EngineRegistry::profilePipeFile(EngineRegistry::profileFolderOf(folder)));
    EngineRegistry::removePipeFiles(pipeFiles);
    pipeFiles.clear();
    if (folder.isEmpty())
        return;
    if (endedBadly)
        EngineRegistry::removeInstanceFolder(folder, startedAt);
    else
        QDir(folder).removeRecursively();
}

EngineProcess::EngineProcess() : EngineProcess(Options()) {}

EngineProcess::EngineProcess(const Options &options) : d(std::make_unique<Private>())
{
    d->options = options;
    if (!d->options.watchdog)
        d->options.watchdog = EngineWatchdog::shared();
}

EngineProcess::~EngineProcess()
{
    quit();
}

void EngineProcess::start()
{
    if (d->spawned)
        return;
    const QString root = EngineRegistry::privateRoot();
    const QString unique = EngineRegistry::newInstanceName();
    d->folder = root + QLatin1Char('/') + unique;
    d->pipe = QStringLiteral("quintarra-") + unique;
    d->startedAt = QDateTime::currentSecsSinceEpoch();
    const QString profile = EngineRegistry::profileFolderOf(d->folder);
    // The instance's own, whatever the umask it and this program run with.
    if (::mkdir(QFile::encodeName(d->folder).constData(), 0700) != 0 || !QDir().mkpath(profile + QStringLiteral("/user"))
        || !QDir().mkpath(d->folder + QStringLiteral("/scratch")))
        throw SpreadsheetError(QStringLiteral("Cannot create the folder %1.").arg(d->folder));
    try {
        if (d->options.seedProfile)
            EngineProfile::prepareCopy(profile, d->program(), d->options.callTimeout);
        d->spawn();
    } catch (...) {
        QDir(d->folder).removeRecursively();
        d->folder.clear();
        throw;
    }
}

void EngineProcess::waitUntilReady()
{
    if (d->ready)
        return;
    start();
    const auto deadline = std::chrono::steady_clock::now() + d->options.callTimeout;
    QString lastProblem;

    while (true) {
        if (d->child.hasEnded()) {
            const int exitCode = d->child.exitCode();
            if (exitCode == EngineProfile::kRestartRequested && d->restarts < kMaxRestarts) {
                ++d->restarts;
                d->spawn();
                continue;
            }
            const QString blocked = watchdogFired() ? QString() : unenterableSharedFolder();
            const QString reason = watchdogFired()
                    ? describeFailure(QStringLiteral("start"), QString())
                    : QStringLiteral("LibreOffice stopped while starting (exit code %1).").arg(exitCode);
            quit();
            if (!blocked.isEmpty())
                throw EngineBlockedError(
                        QStringLiteral("LibreOffice cannot start: this user may not enter its shared folder %1. "
                                       "An administrator can open it to everyone with \"chmod -R a+rX\" on that "
                                       "folder.")
                                .arg(blocked));
            throw SpreadsheetError(reason);
        }
        if (std::chrono::steady_clock::now() > deadline) {
            quit();
            throw SpreadsheetError(QStringLiteral("LibreOffice did not start within %1 seconds%2")
                                           .arg(d->options.callTimeout.count() / 1000.0)
                                           .arg(lastProblem.isEmpty() ? QStringLiteral(".")
                                                                      : QStringLiteral(": ") + lastProblem));
        }
        EngineConnector::Attempt attempt;
        try {
            WatchedCall watched(*this);
            attempt = EngineConnector::tryConnect(d->connection, d->pipe, d->child.pid(), lastProblem);
        } catch (const SpreadsheetError &) {
            quit();
            throw;
        }
        if (attempt == EngineConnector::Attempt::Connected) {
            d->ready = true;
            d->notePipeFiles();
            return;
        }
        d->child.waitForEnd(int(kPollStep.count()));
    }
}

bool EngineProcess::isReady() const
{
    return d->ready;
}

bool EngineProcess::isRunning()
{
    return d->spawned && !d->child.hasEnded();
}

qint64 EngineProcess::pid() const
{
    return d->child.pid();
}

QString EngineProcess::profileFolder() const
{
    return d->folder.isEmpty() ? QString() : EngineRegistry::profileFolderOf(d->folder);
}

QString EngineProcess::scratchFolder() const
{
    return d->folder.isEmpty() ? QString() : d->folder + QStringLiteral("/scratch");
}

bool EngineProcess::hasItsFolders() const
{
    return !d->folder.isEmpty() && QFileInfo(profileFolder() + QStringLiteral("/user")).isDir()
            && QFileInfo(scratchFolder()).isDir();
}

void EngineProcess::setCallTimeout(std::chrono::milliseconds timeout)
{
    d->options.callTimeout = timeout;
}

void EngineProcess::allowLongerCalls(std::chrono::milliseconds extra)
{
    d->allowance = std::max(d->allowance, extra);
}

void EngineProcess::noteDocument(const QString &path)
{
    if (!d->folder.isEmpty())
        EngineRegistry::noteDocument(d->folder, path);
}

void EngineProcess::kill()
{
    d->child.signal(SIGKILL);
}

void EngineProcess::quit()
{
    if (!d->spawned) {
        // A start that failed before the process existed leaves its folder.
        d->cleanUp(false);
        d->folder.clear();
        return;
    }
    if (isRunning())
        d->notePipeFiles();
    bool asked = false;
    if (d->ready && d->connection.desktop.is() && !watchdogFired() && isRunning()) {
        asked = true;
        const auto saved = d->options.callTimeout;
        d->options.callTimeout = std::min<std::chrono::milliseconds>(saved, kTerminateTimeout);
        try {
            WatchedCall watched(*this);
            d->connection.desktop->terminate();
        } catch (const css::uno::Exception &) {
            // The connection goes down with the instance: a DisposedException
            // here is the normal answer.
        }
        d->options.callTimeout = saved;
    }
    const bool wasReady = d->ready;
    d->ready = false;
    d->held.reset();
    d->connection.desktop.clear();
    d->connection.context.clear();
    // An instance that was never asked to end (it never answered, or its
    // connection is gone) would only be waited for in vain.
    bool endedBadly = watchdogFired() || !asked;
    if (!d->child.waitForEnd(asked ? kQuitGraceMs : 0)) {
        d->child.signal(SIGTERM);
        if (!d->child.waitForEnd(kQuitGraceMs))
            d->child.killAndReap();
        endedBadly = true;
    }
    if (d->child.exitCode() != 0)
        endedBadly = true;
    // An instance that was never connected had no document open.
    d->cleanUp(endedBadly && wasReady);
    d->folder.clear();
    d->spawned = false;
}

EngineProcess::WatchedCall::WatchedCall(EngineProcess &engine) : mEngine(engine)
{
    mEngine.d->arm(mEngine.d->watchedTime());
}

EngineProcess::WatchedCall::~WatchedCall()
{
    mEngine.d->disarm();
}

bool EngineProcess::watchdogFired() const
{
    return d->fired;
}

bool EngineProcess::endIfOutOfMemory()
{
    if (d->outOfMemory)
        return true;
    if (!d->spawned || d->options.memoryLimitMb <= 0)
        return false;
    // What the limit counts is not what the system shows; an instance whose
    // resident memory came within a quarter of it is taken to have met it, as
    // a real chart comes nowhere near.
    const qint64 limit = d->options.memoryLimitMb * 1024 * 1024;
    if (d->child.peakResidentBytes() < limit / 4 * 3)
        return false;
    d->outOfMemory = true;
    d->child.killAndReap();
    return true;
}

QString EngineProcess::describeFailure(const QString &action, const QString &detail)
{
    if (watchdogFired())
        return QStringLiteral("LibreOffice did not answer within %1 seconds while trying to %2, so it was stopped.")
                .arg(d->watchedTime().count() / 1000.0)
                .arg(action);
    if (d->outOfMemory)
        return QStringLiteral("LibreOffice ran out of its memory limit of %1 MB while trying to %2, so it was stopped.")
                .arg(d->options.memoryLimitMb)
                .arg(action);
    if (d->spawned && !isRunning())
        return QStringLiteral("LibreOffice stopped unexpectedly while trying to %1.").arg(action);
    if (detail.isEmpty())
        return QStringLiteral("LibreOffice could not %1.").arg(action);
    return QStringLiteral("LibreOffice could not %1: %2").arg(action, detail);
}

void EngineProcess::holdDocument(std::unique_ptr<HeldDocument> document)
{
    d->held = std::move(document);
}

std::unique_ptr<HeldDocument> EngineProcess::takeHeldDocument(const QByteArray &sourceBytes)
{
    if (!d->held || d->held->sourceBytes != sourceBytes)
        return nullptr;
    return std::move(d->held);
}

EngineConnection &EngineProcess::connection()
{
    return d->connection;
}

QList<qint64> EngineProcess::startedPids()
{
    return EngineRegistry::startedPids();
}

bool EngineProcess::isInstanceOfThisTool(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray marker = "/" + ProcessRuns::privateFolderName().toLatin1() + "/";
    const QList<QByteArray> arguments = file.readAll().split('\0');
    for (const QByteArray &argument : arguments) {
        if (argument.startsWith("-env:UserInstallation=") && argument.contains(marker))
            return true;
    }
    return false;
}
