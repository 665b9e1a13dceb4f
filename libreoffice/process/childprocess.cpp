#include "libreoffice/process/childprocess.h"

#include "ground/homeowner.h"
#include "libreoffice/disk/engineregistry.h"
#include "spreadsheet/spreadsheetserver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <thread>

#include <chrono>
#include <locale.h>
#include <signal.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

// The locale category settings in the order they override one another.
QByteArray effectiveCharacterType()
{
    for (const char *name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const QByteArray value = qgetenv(name);
        if (!value.isEmpty())
            return value;
    }
    return "C";
}

bool isUsableUtf8(const QByteArray &locale)
{
    const QByteArray lower = locale.toLower();
    if (!lower.contains("utf-8") && !lower.contains("utf8"))
        return false;
    // Named, but perhaps not installed on this machine.
    const locale_t loaded = ::newlocale(LC_CTYPE_MASK, locale.constData(), locale_t(nullptr));
    if (!loaded)
        return false;
    ::freelocale(loaded);
    return true;
}

bool writeWhole(const char *path, const QByteArray &text)
{
    const int file = ::open(path, O_WRONLY);
    if (file < 0)
        return false;
    const bool written = ::write(file, text.constData(), size_t(text.size())) == text.size();
    ::close(file);
    return written;
}

// In the child, before exec: a network of its own with nothing in it, so
// that nothing a workbook holds (a web function, an external link) and
// nothing of LibreOffice's own (update checks, crash reports) can reach any
// host, the loopback address included. The pipe the program talks over is a
// file, which the new network does not hide. Without the right to make one
// (an unprivileged user and no user namespaces) the instance runs as it is,
// and only its profile's settings keep it from the network.
void isolateFromNetwork(const QByteArray &uidMap, const QByteArray &gidMap)
{
    if (::unshare(CLONE_NEWNET) == 0)
        return;
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0)
        return;
    // The same user and group inside as outside, so files keep their owner.
    if (!writeWhole("/proc/self/setgroups", "deny") || !writeWhole("/proc/self/uid_map", uidMap)
        || !writeWhole("/proc/self/gid_map", gidMap))
        ::_exit(126);
}

} // namespace

ChildProcess::~ChildProcess()
{
    killAndReap();
}

QByteArrayList ChildProcess::environmentFor(const QString &scratchFolder)
{
    const QByteArray characterType = effectiveCharacterType();
    const bool keepLocale = isUsableUtf8(characterType);
    const QByteArray all = qgetenv("LC_ALL");
    // Run as root with another user's home (sudo -E), an instance would make
    // its desktop settings and caches there as root (~/.config, ~/.cache),
    // folders the user could then no longer enter. Such an instance keeps
    // them in its private folder instead; it needs nothing of the home.
    const bool borrowedHome = HomeOwnerFor(QDir(qEnvironmentVariable("HOME")).filePath(QStringLiteral(".config"))).has_value();
    const QList<QByteArray> homeVariables{"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME",
                                          "XDG_STATE_HOME"};
    QByteArrayList environment;
    for (char **entry = environ; *entry; ++entry) {
        const QByteArray line(*entry);
        const QByteArray name = line.left(line.indexOf('='));
        // The local UNO runtime of this program needs it; the instance must not inherit it.
        if (name == "URE_BOOTSTRAP" || name == "TMPDIR")
            continue;
        if (borrowedHome && homeVariables.contains(name))
            continue;
        if (!keepLocale && (name == "LC_ALL" || name == "LC_CTYPE" || name == "LANG"))
            continue;
        environment.append(line);
    }
    // The instance's own temporary files go into its private folder, which is
    // removed with it even when the instance had to be killed.
    environment.append("TMPDIR=" + QFile::encodeName(scratchFolder));
    if (borrowedHome)
        environment.append("HOME=" + QFile::encodeName(scratchFolder));
    if (!keepLocale) {
        // LibreOffice reads file names in the character type: under "C" a name
        // with "é" in it is not a file it can open. Only the character type
        // changes; the other categories keep what the user set.
        const QByteArray lang = !all.isEmpty() ? all : qgetenv("LANG");
        if (!lang.isEmpty())
            environment.append("LANG=" + lang);
        environment.append("LC_CTYPE=C.UTF-8");
    }
    return environment;
}

void ChildProcess::spawn(const QString &program, const QStringList &arguments, const QString &scratchFolder,
                         qint64 dataLimitBytes)
{
    if (!QFileInfo(program).isExecutable())
        throw SpreadsheetError(QStringLiteral("LibreOffice is not installed: %1 is missing.").arg(program));

    // Everything the child needs is made before the fork: after it, in a
    // program with threads, only the plainest system calls are safe.
    QByteArrayList argumentBytes{QFile::encodeName(program)};
    for (const QString &argument : arguments)
        argumentBytes.append(argument.toUtf8());
    std::vector<char *> argv;
    for (QByteArray &argument : argumentBytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    QByteArrayList environmentBytes = environmentFor(scratchFolder);
    std::vector<char *> envp;
    for (QByteArray &entry : environmentBytes)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    const QByteArray path = QFile::encodeName(program);
    const pid_t parent = ::getpid();
    const QByteArray uidMap = QByteArray::number(::getuid()) + ' ' + QByteArray::number(::getuid()) + " 1\n";
    const QByteArray gidMap = QByteArray::number(::getgid()) + ' ' + QByteArray::number(::getgid()) + " 1\n";

    const pid_t child = ::fork();
    if (child < 0)
        throw SpreadsheetError(QStringLiteral("LibreOffice could not be started: %1")
                                       .arg(SystemWords(errno)));
    if (child == 0) {
        // Should this program die, the kernel ends the instance too.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        // The instance keeps the user's umask: the folders LibreOffice shares
        // among the users of the machine (its extension cache, made by the
        // first start there is) must be open to them as LibreOffice would make
        // them. Our own files are private by their folders' and their own
        // explicit modes, not by the instance's umask.
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
        }
        isolateFromNetwork(uidMap, gidMap);
        if (dataLimitBytes > 0) {
            const rlimit data{rlim_t(dataLimitBytes), rlim_t(dataLimitBytes)};
            ::setrlimit(RLIMIT_DATA, &data);
        }
        // Nothing of this program's (its display connection, its files) is
        // the instance's business.
        ::close_range(3, ~0U, 0);
        // This program ignores SIGPIPE; the instance starts with the defaults.
        ::signal(SIGPIPE, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execve(path.constData(), argv.data(), envp.data());
        ::_exit(127);
    }
    std::lock_guard lock(mMutex);
    mPid = child;
    mReaped = false;
    mStatus = 0;
    EngineRegistry::rememberStarted(child);
}

bool ChildProcess::isIsolatedFromNetwork(qint64 pid)
{
    const QString theirs = QFile::symLinkTarget(QStringLiteral("/proc/%1/ns/net").arg(pid));
    return !theirs.isEmpty() && theirs != QFile::symLinkTarget(QStringLiteral("/proc/self/ns/net"));
}

bool ChildProcess::hasEnded()
{
    std::lock_guard lock(mMutex);
    if (mPid <= 0 || mReaped)
        return true;
    int status = 0;
    rusage usage{};
    const pid_t done = ::wait4(pid_t(mPid.load()), &status, WNOHANG, &usage);
    if (done == 0)
        return false;
    // Another waiter may have reaped it (ECHILD): it is gone all the same.
    mReaped = true;
    mStatus = done == pid_t(mPid) ? status : -1;
    mPeakResidentBytes = done == pid_t(mPid) ? qint64(usage.ru_maxrss) * 1024 : 0;
    EngineRegistry::forgetStarted(mPid);
    return true;
}

bool ChildProcess::waitForEnd(int milliseconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    auto step = std::chrono::milliseconds(2);
    while (!hasEnded()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(step);
        step = std::min(step * 2, std::chrono::milliseconds(20));
    }
    return true;
}

int ChildProcess::exitCode() const
{
    std::lock_guard lock(mMutex);
    if (!mReaped || mStatus < 0 || !WIFEXITED(mStatus))
        return -1;
    return WEXITSTATUS(mStatus);
}

qint64 ChildProcess::peakResidentBytes() const
{
    std::lock_guard lock(mMutex);
    if (mReaped || mPid <= 0)
        return mPeakResidentBytes;
    QFile status(QStringLiteral("/proc/%1/status").arg(mPid.load()));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return 0;
}

void ChildProcess::signal(int number)
{
    std::lock_guard lock(mMutex);
    if (mPid > 0 && !mReaped)
        ::kill(pid_t(mPid), number);
}

void ChildProcess::killAndReap()
{
    if (hasEnded())
        return;
    signal(SIGKILL);
    // A stopped process dies of SIGKILL too; only the reaping is left.
    waitForEnd(5000);
}
