#include "chart/engineprocess.h"

#include "chart/spreadsheetserver.h"
#include "chart/unocall.h"

#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <cppuhelper/bootstrap.hxx>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QSettings>
#include <QUrl>

#include <condition_variable>
#include <mutex>
#include <thread>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

const QString kProgramFolder = QStringLiteral("/usr/lib/libreoffice/program");
// LibreOffice asks to be started again, with the same arguments, after it has
// set up a brand-new profile.
constexpr int kRestartRequested = 81;
constexpr int kMaxRestarts = 3;
constexpr auto kPollStep = 20ms;
constexpr int kQuitGraceMs = 5000;
constexpr auto kTerminateTimeout = 10s;

QMutex startedMutex;
QSet<qint64> startedProcesses;

void rememberStarted(qint64 pid)
{
    QMutexLocker lock(&startedMutex);
    startedProcesses.insert(pid);
}

void forgetStarted(qint64 pid)
{
    QMutexLocker lock(&startedMutex);
    startedProcesses.remove(pid);
}

bool processExists(qint64 pid)
{
    return pid > 0 && QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid));
}

// LibreOffice's pipes are socket files under this prefix: the one an instance
// accepts connections on, and one for its check for another instance on the
// same profile. An instance that is killed leaves both behind.
QString pipeFilePrefix()
{
    return QStringLiteral("/tmp/OSL_PIPE_%1_").arg(getuid());
}

// The pipe files the process is listening on.
QStringList pipeFilesHeldBy(qint64 pid)
{
    QHash<QByteArray, QString> pathByInode;
    QFile table(QStringLiteral("/proc/net/unix"));
    if (!table.open(QIODevice::ReadOnly))
        return {};
    const QString prefix = pipeFilePrefix();
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 8 && fields.at(7).startsWith(prefix.toLocal8Bit()))
            pathByInode.insert(fields.at(6), QString::fromLocal8Bit(fields.at(7)));
    }
    QStringList held;
    const QString fdFolder = QStringLiteral("/proc/%1/fd").arg(pid);
    const QStringList fds = QDir(fdFolder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &fd : fds) {
        char target[128] = {};
        const ssize_t length = ::readlink(QFile::encodeName(fdFolder + QLatin1Char('/') + fd).constData(), target,
                                          sizeof target - 1);
        const QByteArray text(target, std::max<ssize_t>(length, 0));
        if (text.startsWith("socket:[") && text.endsWith(']')) {
            const QString path = pathByInode.value(text.mid(8, text.size() - 9));
            if (!path.isEmpty() && !held.contains(path))
                held.append(path);
        }
    }
    return held;
}

void removePipeFiles(const QStringList &paths)
{
    for (const QString &path : paths) {
        const QByteArray native = QFile::encodeName(path);
        struct stat info {};
        if (path.startsWith(pipeFilePrefix()) && ::lstat(native.constData(), &info) == 0 && S_ISSOCK(info.st_mode)
            && info.st_uid == getuid())
            ::unlink(native.constData());
    }
}

// Where an instance's folder lists its pipe files, for whoever removes the
// folder after the instance was killed together with this program.
QString pipeListPath(const QString &folder)
{
    return folder + QStringLiteral("/pipes");
}

QStringList readPipeList(const QString &folder)
{
    QFile list(pipeListPath(folder));
    if (!list.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(list.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString privateRootName()
{
    return QStringLiteral("quintarra-engine-%1").arg(getuid());
}

// The folder that holds the profiles of this user's instances. It must be ours
// alone: profiles hold the documents' temporary copies.
QString privateRoot()
{
    const QString root = QDir::tempPath() + QLatin1Char('/') + privateRootName();
    const QByteArray native = QFile::encodeName(root);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        throw SpreadsheetError(QStringLiteral("Cannot create the folder %1: %2")
                                       .arg(root, QString::fromLocal8Bit(strerror(errno))));
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid()
        || (info.st_mode & 077) != 0)
        throw SpreadsheetError(
                QStringLiteral("The folder %1 is not a private folder of this user.").arg(root));

    // Profiles left behind by a program that was killed: their owner is gone.
    const QStringList entries = QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool ok = false;
        const qint64 owner = entry.section(QLatin1Char('-'), 0, 0).toLongLong(&ok);
        if (ok && !processExists(owner)) {
            const QString folder = root + QLatin1Char('/') + entry;
            removePipeFiles(readPipeList(folder) << pipeFilePrefix() + QStringLiteral("quintarra-") + entry);
            QDir(folder).removeRecursively();
        }
    }
    return root;
}

QString productKey()
{
    QSettings bootstrap(kProgramFolder + QStringLiteral("/bootstraprc"), QSettings::IniFormat);
    return bootstrap.value(QStringLiteral("Bootstrap/ProductKey")).toString();
}

QString xmlEscaped(const QString &text)
{
    return text.toHtmlEscaped();
}

// Written before the first start: the version LibreOffice compares at start-up
// (so a headless start does not repeat its first-start graphics test);
// Caladea in place of Constantia, which this system lacks and whose fallback is
// so wide that the amounts show as ###; and no document locks, which would
// make a second instance refuse a file the first one has open and are left
// behind by a killed instance.
QByteArray seededRegistry(const QString &version)
{
    const QString text = QStringLiteral(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
            "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
            "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n"
            "<item oor:path=\"/org.openoffice.Setup/Product\"><prop oor:name=\"ooSetupLastVersion\" "
            "oor:op=\"fuse\"><value>%1</value></prop></item>\n"
            "<item oor:path=\"/org.openoffice.Office.Common/Font/Substitution\"><prop "
            "oor:name=\"Replacement\" oor:op=\"fuse\"><value>true</value></prop></item>\n"
            "<item oor:path=\"/org.openoffice.Office.Common/Font/Substitution/FontPairs\">"
            "<node oor:name=\"_0\" oor:op=\"replace\">"
            "<prop oor:name=\"Always\" oor:op=\"fuse\"><value>true</value></prop>"
            "<prop oor:name=\"OnScreenOnly\" oor:op=\"fuse\"><value>false</value></prop>"
            "<prop oor:name=\"ReplaceFont\" oor:op=\"fuse\"><value>Constantia</value></prop>"
            "<prop oor:name=\"SubstituteFont\" oor:op=\"fuse\"><value>Caladea</value></prop>"
            "</node></item>\n"
            "<item oor:path=\"/org.openoffice.Office.Common/Misc\"><prop oor:name=\"UseDocumentOOoLockFile\" "
            "oor:op=\"fuse\"><value>false</value></prop></item>\n"
            "<item oor:path=\"/org.openoffice.Office.Common/Misc\"><prop "
            "oor:name=\"UseDocumentSystemFileLocking\" oor:op=\"fuse\"><value>false</value></prop></item>\n"
            "</oor:items>\n")
                                 .arg(xmlEscaped(version));
    return text.toUtf8();
}

void writeSeed(const QString &profile)
{
    QFile registry(profile + QStringLiteral("/user/registrymodifications.xcu"));
    if (!QDir().mkpath(profile + QStringLiteral("/user")) || !registry.open(QIODevice::WriteOnly)
        || registry.write(seededRegistry(EngineProcess::installedProductVersion())) < 0)
        throw SpreadsheetError(QStringLiteral("Cannot write %1.").arg(registry.fileName()));
}

bool copyTree(const QString &from, const QString &to)
{
    QDirIterator it(from, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + source.mid(from.size());
        if (it.fileInfo().isDir()) {
            if (!QDir().mkpath(target))
                return false;
        } else if (it.fileName() != QLatin1String(".lock")) {
            QDir().mkpath(QFileInfo(target).absolutePath());
            if (!QFile::copy(source, target))
                return false;
        }
    }
    return true;
}

void setUpChild(QProcess &process, const QString &scratchFolder)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("URE_BOOTSTRAP"));
    // The instance's own temporary files go into its private folder, which is
    // removed with it even when the instance had to be killed.
    environment.insert(QStringLiteral("TMPDIR"), scratchFolder);
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    const pid_t parent = getpid();
    process.setChildProcessModifier([parent] {
        // Should this program die, the kernel ends the instance too.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        // What the instance writes, the user's workbook among it, is the
        // user's alone from the moment it exists, also in a shared folder.
        ::umask(077);
        if (getppid() != parent)
            _exit(1);
    });
}

QString profileUrl(const QString &profile)
{
    return QStringLiteral("-env:UserInstallation=%1").arg(QUrl::fromLocalFile(profile).toString(QUrl::FullyEncoded));
}

// LibreOffice's first start on a new profile sets up the profile's extension
// registry and then exits asking for a restart (exit code 81). That is done
// once per run of this program, on a profile that every instance then gets a
// copy of: no instance needs the restart, and a spare started ahead of need is
// ready without anybody waiting for it. Answers the empty text when the
// preparation fails; instances then go through the restart themselves.
QString preparedProfile(const QString &root)
{
    struct Prepared {
        QString folder;
        bool tried = false;
        ~Prepared()
        {
            if (!folder.isEmpty())
                QDir(folder).removeRecursively();
        }
    };
    static Prepared prepared;
    if (prepared.tried)
        return prepared.folder;
    prepared.tried = true;

    const QString folder = root + QStringLiteral("/%1-prepared").arg(getpid());
    QDir(folder).removeRecursively();
    writeSeed(folder);
    QProcess first;
    first.setProgram(kProgramFolder + QStringLiteral("/soffice.bin"));
    first.setArguments({QStringLiteral("--headless"), QStringLiteral("--invisible"), QStringLiteral("--norestore"),
                        QStringLiteral("--nologo"), QStringLiteral("--nodefault"), QStringLiteral("--nolockcheck"),
                        QStringLiteral("--terminate_after_init"), profileUrl(folder)});
    QDir().mkpath(folder + QStringLiteral("/scratch"));
    setUpChild(first, folder + QStringLiteral("/scratch"));
    first.start();
    if (!first.waitForStarted(10000)) {
        QDir(folder).removeRecursively();
        return {};
    }
    const qint64 pid = first.processId();
    rememberStarted(pid);
    const bool ended = first.waitForFinished(60000);
    if (!ended) {
        first.kill();
        first.waitForFinished(5000);
    }
    forgetStarted(pid);
    if (!ended || first.exitStatus() != QProcess::NormalExit
        || (first.exitCode() != 0 && first.exitCode() != kRestartRequested)) {
        QDir(folder).removeRecursively();
        return {};
    }
    QFile::remove(folder + QStringLiteral("/.lock"));
    prepared.folder = folder;
    return folder;
}

// The inodes of the listening sockets bound to the given path.
QSet<QString> socketInodes(const QString &path)
{
    QSet<QString> inodes;
    QFile table(QStringLiteral("/proc/net/unix"));
    if (!table.open(QIODevice::ReadOnly))
        return inodes;
    const QList<QByteArray> lines = table.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 8 && QString::fromLocal8Bit(fields.at(7)) == path)
            inodes.insert(QString::fromLatin1(fields.at(6)));
    }
    return inodes;
}

bool processHoldsSocket(qint64 pid, const QSet<QString> &inodes)
{
    const QString fdFolder = QStringLiteral("/proc/%1/fd").arg(pid);
    const QStringList fds = QDir(fdFolder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &fd : fds) {
        char target[128] = {};
        const QByteArray link = QFile::encodeName(fdFolder + QLatin1Char('/') + fd);
        const ssize_t length = ::readlink(link.constData(), target, sizeof target - 1);
        if (length <= 0)
            continue;
        // The link reads "socket:[inode]".
        const QByteArray text(target, length);
        if (text.startsWith("socket:[") && text.endsWith(']')
            && inodes.contains(QString::fromLatin1(text.mid(8, text.size() - 9))))
            return true;
    }
    return false;
}

void bootstrapLocalContext(css::uno::Reference<css::uno::XComponentContext> &context)
{
    static std::once_flag once;
    static css::uno::Reference<css::uno::XComponentContext> local;
    static QString failure;
    std::call_once(once, [] {
        // Without it the first remote call crashes: the local UNO runtime finds
        // its type registries through this file.
        qputenv("URE_BOOTSTRAP",
                ("vnd.sun.star.pathname:" + kProgramFolder + QStringLiteral("/fundamentalrc")).toLocal8Bit());
        try {
            local = cppu::defaultBootstrap_InitialComponentContext();
        } catch (const css::uno::Exception &e) {
            failure = toQString(e.Message);
        }
    });
    if (!local.is())
        throw SpreadsheetError(QStringLiteral("The UNO runtime could not be started: %1").arg(failure));
    context = local;
}

} // namespace

struct EngineProcess::Private {
    Options options;
    QString root;
    QString folder;      // this instance's private folder: profile and scratch
    QString pipe;
    std::unique_ptr<QProcess> process;
    qint64 pid = 0;
    qint64 killablePid = 0;   // zero once reaped: the number may be reused
    int restarts = 0;
    bool ready = false;
    int exitCode = -1;
    QStringList pipeFiles;
    EngineConnection connection;

    // The watchdog.
    std::mutex mutex;
    std::condition_variable wake;
    std::thread watchdog;
    int depth = 0;
    quint64 generation = 0;
    bool armed = false;
    bool stopping = false;
    bool fired = false;
    std::chrono::steady_clock::time_point deadline;

    void spawn();
    bool reapIfEnded(int waitMs);
    void startWatchdog();
    void stopWatchdog();
    void arm(std::chrono::milliseconds timeout);
    void disarm();
    void watch();
    void killNow();
    void notePipeFiles();
    void cleanUp();
};

void EngineProcess::Private::spawn()
{
    const QString program = options.program.isEmpty() ? kProgramFolder + QStringLiteral("/soffice.bin")
                                                      : options.program;
    if (!QFileInfo(program).isExecutable())
        throw SpreadsheetError(QStringLiteral("LibreOffice is not installed: %1 is missing.").arg(program));

    process = std::make_unique<QProcess>();
    process->setProgram(program);
    process->setArguments({
            QStringLiteral("--headless"), QStringLiteral("--invisible"), QStringLiteral("--norestore"),
            QStringLiteral("--nologo"), QStringLiteral("--nodefault"), QStringLiteral("--nolockcheck"),
            QStringLiteral("--accept=pipe,name=%1;urp;StarOffice.ComponentContext").arg(pipe),
            profileUrl(folder + QStringLiteral("/profile")),
    });
    setUpChild(*process, folder + QStringLiteral("/scratch"));
    process->start();
    if (!process->waitForStarted(10000))
        throw SpreadsheetError(QStringLiteral("LibreOffice could not be started: %1").arg(process->errorString()));
    {
        std::lock_guard lock(mutex);
        pid = killablePid = process->processId();
    }
    rememberStarted(pid);
}

bool EngineProcess::Private::reapIfEnded(int waitMs)
{
    if (!process)
        return true;
    if (process->state() != QProcess::NotRunning && !process->waitForFinished(waitMs))
        return false;
    if (process->state() != QProcess::NotRunning)
        return false;
    exitCode = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    {
        std::lock_guard lock(mutex);
        killablePid = 0;
    }
    forgetStarted(pid);
    return true;
}

void EngineProcess::Private::startWatchdog()
{
    if (watchdog.joinable())
        return;
    stopping = false;
    watchdog = std::thread([this] { watch(); });
}

void EngineProcess::Private::stopWatchdog()
{
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    if (watchdog.joinable())
        watchdog.join();
}

void EngineProcess::Private::arm(std::chrono::milliseconds timeout)
{
    {
        std::lock_guard lock(mutex);
        if (depth++ > 0)
            return;
        armed = true;
        ++generation;
        deadline = std::chrono::steady_clock::now() + timeout;
    }
    wake.notify_all();
}

void EngineProcess::Private::disarm()
{
    {
        std::lock_guard lock(mutex);
        if (--depth > 0)
            return;
        armed = false;
        ++generation;
    }
    wake.notify_all();
}

void EngineProcess::Private::watch()
{
    std::unique_lock lock(mutex);
    while (!stopping) {
        if (!armed) {
            wake.wait(lock);
            continue;
        }
        const quint64 watched = generation;
        const bool changed = wake.wait_until(lock, deadline, [&] { return stopping || generation != watched; });
        if (!changed) {
            // The call is still waiting for an instance that stopped answering:
            // killing it breaks the connection, so the call fails.
            fired = true;
            armed = false;
            if (killablePid > 0)
                ::kill(static_cast<pid_t>(killablePid), SIGKILL);
        }
    }
}

void EngineProcess::Private::killNow()
{
    if (process && process->state() != QProcess::NotRunning) {
        process->kill();
        process->waitForFinished(5000);
    }
    reapIfEnded(0);
}

void EngineProcess::Private::notePipeFiles()
{
    bool added = false;
    for (const QString &path : pipeFilesHeldBy(pid)) {
        if (!pipeFiles.contains(path)) {
            pipeFiles.append(path);
            added = true;
        }
    }
    if (!added || folder.isEmpty())
        return;
    QFile list(pipeListPath(folder));
    if (list.open(QIODevice::WriteOnly))
        list.write(QFile::encodeName(pipeFiles.join(QLatin1Char('\n'))));
}

void EngineProcess::Private::cleanUp()
{
    connection.desktop.clear();
    connection.context.clear();
    if (!folder.isEmpty())
        QDir(folder).removeRecursively();
    // A killed instance leaves its pipes' socket files behind.
    if (!pipe.isEmpty())
        pipeFiles.append(pipeFilePrefix() + pipe);
    removePipeFiles(pipeFiles);
    pipeFiles.clear();
}

EngineProcess::EngineProcess() : EngineProcess(Options()) {}

EngineProcess::EngineProcess(const Options &options) : d(std::make_unique<Private>())
{
    d->options = options;
}

EngineProcess::~EngineProcess()
{
    quit();
}

void EngineProcess::start()
{
    if (d->process)
        return;
    d->root = privateRoot();
    const QString unique = QStringLiteral("%1-%2").arg(getpid()).arg(
            QRandomGenerator::system()->generate64(), 16, 16, QLatin1Char('0'));
    d->folder = d->root + QLatin1Char('/') + unique;
    d->pipe = QStringLiteral("quintarra-") + unique;
    const QString profile = d->folder + QStringLiteral("/profile");
    if (!QDir().mkpath(profile + QStringLiteral("/user")) || !QDir().mkpath(d->folder + QStringLiteral("/scratch")))
        throw SpreadsheetError(QStringLiteral("Cannot create the folder %1.").arg(d->folder));
    if (d->options.seedProfile) {
        const QString prepared = preparedProfile(d->root);
        if (prepared.isEmpty() || !copyTree(prepared, profile))
            writeSeed(profile);
    }
    d->spawn();
    d->startWatchdog();
}

void EngineProcess::waitUntilReady()
{
    if (d->ready)
        return;
    start();
    if (watchdogFired())
        throw SpreadsheetError(describeFailure(QStringLiteral("start"), QString()));

    css::uno::Reference<css::uno::XComponentContext> local;
    bootstrapLocalContext(local);
    const QString url = QStringLiteral("uno:pipe,name=%1;urp;StarOffice.ComponentContext").arg(d->pipe);
    const QString pipePath = QStringLiteral("/tmp/OSL_PIPE_%1_%2").arg(getuid()).arg(d->pipe);
    const auto deadline = std::chrono::steady_clock::now() + d->options.callTimeout;
    QString lastProblem;

    while (true) {
        if (d->reapIfEnded(0)) {
            if (d->exitCode == kRestartRequested && d->restarts < kMaxRestarts) {
                ++d->restarts;
                d->spawn();
                continue;
            }
            const QString reason = watchdogFired()
                    ? describeFailure(QStringLiteral("start"), QString())
                    : QStringLiteral("LibreOffice stopped while starting (exit code %1).").arg(d->exitCode);
            quit();
            throw SpreadsheetError(reason);
        }
        if (std::chrono::steady_clock::now() > deadline) {
            quit();
            throw SpreadsheetError(QStringLiteral("LibreOffice did not start within %1 seconds%2")
                                           .arg(d->options.callTimeout.count() / 1000.0)
                                           .arg(lastProblem.isEmpty() ? QStringLiteral(".")
                                                                      : QStringLiteral(": ") + lastProblem));
        }
        const QSet<QString> inodes = socketInodes(pipePath);
        if (inodes.isEmpty()) {
            d->reapIfEnded(int(kPollStep.count()));
            continue;
        }
        // A pipe of that name held by another process would hand us someone
        // else's office, and our quit() would end it.
        if (!processHoldsSocket(d->pid, inodes)) {
            quit();
            throw SpreadsheetError(QStringLiteral("The pipe %1 belongs to another process.").arg(pipePath));
        }
        try {
            WatchedCall watched(*this);
            const auto resolver = css::bridge::UnoUrlResolver::create(local);
            d->connection.context.set(resolver->resolve(toOUString(url)), css::uno::UNO_QUERY_THROW);
            d->connection.desktop = css::frame::Desktop::create(d->connection.context);
            d->ready = true;
            d->notePipeFiles();
            return;
        } catch (const css::uno::Exception &e) {
            lastProblem = toQString(e.Message);
            d->connection.context.clear();
            d->reapIfEnded(int(kPollStep.count()));
        }
    }
}

bool EngineProcess::isReady() const
{
    return d->ready;
}

bool EngineProcess::isRunning()
{
    return d->process && !d->reapIfEnded(0);
}

qint64 EngineProcess::pid() const
{
    return d->pid;
}

QString EngineProcess::pipeName() const
{
    return d->pipe;
}

QString EngineProcess::profileFolder() const
{
    return d->folder.isEmpty() ? QString() : d->folder + QStringLiteral("/profile");
}

QString EngineProcess::scratchFolder() const
{
    return d->folder.isEmpty() ? QString() : d->folder + QStringLiteral("/scratch");
}

std::chrono::milliseconds EngineProcess::callTimeout() const
{
    return d->options.callTimeout;
}

void EngineProcess::setCallTimeout(std::chrono::milliseconds timeout)
{
    d->options.callTimeout = timeout;
}

void EngineProcess::quit()
{
    if (!d->process) {
        // A start that failed before the process existed leaves its folder.
        d->stopWatchdog();
        d->cleanUp();
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
    d->ready = false;
    d->connection.desktop.clear();
    d->connection.context.clear();
    // An instance that was never asked to end (it never answered, or its
    // connection is gone) would only be waited for in vain.
    if (!d->reapIfEnded(asked ? kQuitGraceMs : 0)) {
        d->process->terminate();
        if (!d->reapIfEnded(kQuitGraceMs))
            d->killNow();
    }
    d->stopWatchdog();
    d->cleanUp();
    d->process.reset();
}

EngineProcess::WatchedCall::WatchedCall(EngineProcess &engine) : mEngine(engine)
{
    mEngine.d->arm(mEngine.d->options.callTimeout);
}

EngineProcess::WatchedCall::~WatchedCall()
{
    mEngine.d->disarm();
}

bool EngineProcess::watchdogFired() const
{
    std::lock_guard lock(d->mutex);
    return d->fired;
}

QString EngineProcess::describeFailure(const QString &action, const QString &detail)
{
    if (watchdogFired())
        return QStringLiteral("LibreOffice did not answer within %1 seconds while trying to %2, so it was stopped.")
                .arg(d->options.callTimeout.count() / 1000.0)
                .arg(action);
    if (d->process && !isRunning())
        return QStringLiteral("LibreOffice stopped unexpectedly while trying to %1.").arg(action);
    if (detail.isEmpty())
        return QStringLiteral("LibreOffice could not %1.").arg(action);
    return QStringLiteral("LibreOffice could not %1: %2").arg(action, detail);
}

EngineConnection &EngineProcess::connection()
{
    return d->connection;
}

QList<qint64> EngineProcess::startedPids()
{
    QMutexLocker lock(&startedMutex);
    return startedProcesses.values();
}

bool EngineProcess::isInstanceOfThisTool(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray marker = "/" + privateRootName().toLatin1() + "/";
    const QList<QByteArray> arguments = file.readAll().split('\0');
    for (const QByteArray &argument : arguments) {
        if (argument.startsWith("-env:UserInstallation=") && argument.contains(marker))
            return true;
    }
    return false;
}

QString EngineProcess::installedProductName()
{
    const QString key = productKey();
    const qsizetype space = key.lastIndexOf(QLatin1Char(' '));
    return space > 0 ? key.left(space) : key;
}

QString EngineProcess::installedProductVersion()
{
    const QString key = productKey();
    const qsizetype space = key.lastIndexOf(QLatin1Char(' '));
    return space > 0 ? key.mid(space + 1) : QString();
}

QString EngineProcess::programFolder()
{
    return kProgramFolder;
}
