#include "chart/libreoffice/disk/engineregistry.h"

#include "chart/libreoffice/disk/engineprofile.h"
#include "chart/ownedworkbooks.h"
#include "chart/spreadsheetserver.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QRandomGenerator>
#include <QSet>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QMutex startedMutex;
QSet<qint64> startedProcesses;

QString pipeListPath(const QString &folder)
{
    return folder + QStringLiteral("/pipes");
}

QString documentListPath(const QString &folder)
{
    return folder + QStringLiteral("/documents");
}

void appendLine(const QString &path, const QString &line)
{
    QFile list(path);
    if (list.open(QIODevice::WriteOnly | QIODevice::Append))
        list.write(line.toUtf8() + '\n');
}

bool isOursAndOlderThan(const QString &path, qint64 notBeforeSecs)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode)
            && info.st_uid == getuid() && info.st_mtime >= notBeforeSecs;
}

// The instance folders of programs that have ended: "PID-..." where PID is
// gone, or is now another process than the one that made the folder.
void sweepDeadInstances(const QString &root)
{
    const QFileInfoList entries = QDir(root).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        // "PID-TICKS-...": the run that made it is alive while a process of
        // that id started at that time. Folders of older versions name the id only.
        const QStringList parts = entry.fileName().split(QLatin1Char('-'));
        bool ok = false;
        const qint64 owner = parts.first().toLongLong(&ok);
        if (!ok)
            continue;
        bool ticksNamed = false;
        if (parts.size() >= 3)
            parts.at(1).toULongLong(&ticksNamed);
        if (ticksNamed ? EngineRegistry::runIsAlive(owner, parts.at(1)) : EngineRegistry::processExists(owner))
            continue;
        const QString folder = entry.absoluteFilePath();
        EngineRegistry::removePipeFiles({EngineRegistry::pipeFilePrefix() + QStringLiteral("quintarra-")
                                         + entry.fileName()});
        EngineRegistry::removeInstanceFolder(folder, entry.birthTime().isValid()
                                                             ? entry.birthTime().toSecsSinceEpoch()
                                                             : entry.lastModified().toSecsSinceEpoch() - 3600);
    }
}

} // namespace

namespace EngineRegistry {

QString privateRootName()
{
    return QStringLiteral("quintarra-engine-%1").arg(getuid());
}

QString privateRoot()
{
    const QString root = QDir::tempPath() + QLatin1Char('/') + privateRootName();
    const QByteArray native = QFile::encodeName(root);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        throw SpreadsheetError(QStringLiteral("Cannot create the folder %1: %2")
                                       .arg(root, SystemWords(errno)));
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid()
        || (info.st_mode & 077) != 0)
        throw SpreadsheetError(QStringLiteral("The folder %1 is not a private folder of this user.").arg(root));
    sweepDeadInstances(root);
    return root;
}

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

QList<qint64> startedPids()
{
    QMutexLocker lock(&startedMutex);
    return startedProcesses.values();
}

bool processExists(qint64 pid)
{
    return pid > 0 && QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid));
}

QList<QByteArray> processStatFields(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = stat.readAll();
    // The command name in parentheses may hold spaces; the fields after it
    // are plain.
    const qsizetype close = text.lastIndexOf(')');
    if (close < 0)
        return {};
    return text.mid(close + 2).trimmed().split(' ');
}

namespace {

// The start time is the 22nd field, the 20th after the name. A program that
// has died but whose parent has not collected it yet is dead: none.
QString startTicksIn(const QList<QByteArray> &statFields)
{
    if (statFields.size() <= 19 || statFields.at(0) == "Z" || statFields.at(0) == "X")
        return {};
    return QString::fromLatin1(statFields.at(19));
}

} // namespace

QString processStartTicks(qint64 pid)
{
    return startTicksIn(processStatFields(pid));
}

bool runIsAlive(qint64 pid, const QString &startTicks)
{
    if (pid <= 0 || startTicks.isEmpty())
        return false;
    const QList<QByteArray> fields = processStatFields(pid);
    if (fields.isEmpty())
        return processExists(pid);
    return startTicksIn(fields) == startTicks;
}

QString runName()
{
    static const QString name = QStringLiteral("%1-%2").arg(getpid()).arg(processStartTicks(getpid()));
    return name;
}

QString newInstanceName()
{
    return QStringLiteral("%1-%2").arg(runName()).arg(QRandomGenerator::system()->generate64(), 16, 16,
                                                      QLatin1Char('0'));
}

// LibreOffice's pipes are socket files under this prefix: the one an instance
// accepts connections on, and one for its check for another instance on the
// same profile. An instance that is killed leaves both behind.
QString pipeFilePrefix()
{
    return QStringLiteral("/tmp/OSL_PIPE_%1_").arg(getuid());
}

QString profileFolderOf(const QString &instanceFolder)
{
    return instanceFolder + QStringLiteral("/profile");
}

QString profilePipeFile(const QString &profileFolder)
{
    // The MD5 of the URL's UTF-16 code units, each byte in hex without its
    // leading zero.
    const QString url = EngineProfile::profileUrl(profileFolder);
    QByteArray units;
    for (const QChar unit : url) {
        units.append(char(unit.unicode() & 0xff));
        units.append(char(unit.unicode() >> 8));
    }
    QString hex;
    for (const char byte : QCryptographicHash::hash(units, QCryptographicHash::Md5))
        hex += QString::number(quint8(byte), 16);
    return pipeFilePrefix() + QStringLiteral("SingleOfficeIPC_") + hex;
}

QHash<QByteArray, QString> pipeSocketsSeenBy(qint64 pid)
{
    QHash<QByteArray, QString> pathByInode;
    // As the process sees them: it may run in a network of its own.
    QFile table(QStringLiteral("/proc/%1/net/unix").arg(pid));
    if (!table.open(QIODevice::ReadOnly))
        return {};
    const QByteArray prefix = pipeFilePrefix().toLocal8Bit();
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 8 && fields.at(7).startsWith(prefix))
            pathByInode.insert(fields.at(6), QString::fromLocal8Bit(fields.at(7)));
    }
    return pathByInode;
}

QList<QByteArray> socketInodesHeldBy(qint64 pid)
{
    QList<QByteArray> inodes;
    const QString fdFolder = QStringLiteral("/proc/%1/fd").arg(pid);
    const QStringList fds = QDir(fdFolder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &fd : fds) {
        char target[128] = {};
        const ssize_t length = ::readlink(QFile::encodeName(fdFolder + QLatin1Char('/') + fd).constData(), target,
                                          sizeof target - 1);
        // The link reads "socket:[inode]".
        const QByteArray text(target, std::max<ssize_t>(length, 0));
        if (text.startsWith("socket:[") && text.endsWith(']'))
            inodes.append(text.mid(8, text.size() - 9));
    }
    return inodes;
}

QStringList pipeFilesHeldBy(qint64 pid)
{
    const QHash<QByteArray, QString> pathByInode = pipeSocketsSeenBy(pid);
    if (pathByInode.isEmpty())
        return {};
    QStringList held;
    for (const QByteArray &inode : socketInodesHeldBy(pid)) {
        const QString path = pathByInode.value(inode);
        if (!path.isEmpty() && !held.contains(path))
            held.append(path);
    }
    return held;
}

namespace {

bool isPipeFileOfOurs(const QString &path)
{
    struct stat info {};
    return path.startsWith(pipeFilePrefix()) && ::lstat(QFile::encodeName(path).constData(), &info) == 0
            && S_ISSOCK(info.st_mode) && info.st_uid == getuid();
}

} // namespace

void removePipeFiles(const QStringList &paths)
{
    for (const QString &path : paths) {
        if (isPipeFileOfOurs(path))
            ::unlink(QFile::encodeName(path).constData());
    }
}

void restrictPipeFiles(const QStringList &paths)
{
    for (const QString &path : paths) {
        if (isPipeFileOfOurs(path))
            ::chmod(QFile::encodeName(path).constData(), 0600);
    }
}

QStringList readListFile(const QString &path)
{
    QFile list(path);
    if (!list.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(list.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void notePipeFiles(const QString &instanceFolder, const QStringList &paths)
{
    QFile list(pipeListPath(instanceFolder));
    if (list.open(QIODevice::WriteOnly))
        list.write(QFile::encodeName(paths.join(QLatin1Char('\n'))));
}

void noteDocument(const QString &instanceFolder, const QString &documentPath)
{
    const QString path = QFileInfo(documentPath).absoluteFilePath();
    if (!readListFile(documentListPath(instanceFolder)).contains(path))
        appendLine(documentListPath(instanceFolder), path);
}

void removeLeftoversBeside(const QString &documentPath, qint64 notBeforeSecs)
{
    const QFileInfo document(documentPath);
    const QDir folder = document.absoluteDir();
    const QString lock = folder.filePath(QStringLiteral(".~lock.%1#").arg(document.fileName()));
    if (isOursAndOlderThan(lock, 0))
        QFile::remove(lock);
    // The scratch a save writes beside its target before renaming it.
    const QStringList scratch = folder.entryList({QStringLiteral("lu*.tmp")}, QDir::Files | QDir::Hidden);
    for (const QString &name : scratch) {
        const QString path = folder.filePath(name);
        if (isOursAndOlderThan(path, notBeforeSecs))
            QFile::remove(path);
    }
}

void removeInstanceFolder(const QString &instanceFolder, qint64 startedAtSecs)
{
    for (const QString &document : readListFile(documentListPath(instanceFolder)))
        removeLeftoversBeside(document, startedAtSecs);
    // An instance runs on the folder's profile; the first start that prepares
    // the profile all instances copy runs on the folder itself.
    removePipeFiles(readListFile(pipeListPath(instanceFolder)) << profilePipeFile(profileFolderOf(instanceFolder))
                                                               << profilePipeFile(instanceFolder));
    QDir(instanceFolder).removeRecursively();
}

} // namespace EngineRegistry
