#include "libreoffice/disk/engineregistry.h"

#include "ground/processruns.h"
#include "libreoffice/disk/engineprofile.h"
#include "spreadsheet/engineleftovers.h"
#include "spreadsheet/spreadsheetserver.h"

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
        if (ticksNamed ? ProcessRuns::runIsAlive(owner, parts.at(1)) : ProcessRuns::processExists(owner))
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

QString privateRoot()
{
    QString root;
    try {
        root = ProcessRuns::privateFolder();
    } catch (const Failure &e) {
        throw SpreadsheetError(e.description());
    }
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

QString newInstanceName()
{
    return QStringLiteral("%1-%2").arg(ProcessRuns::runName()).arg(QRandomGenerator::system()->generate64(), 16, 16,
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

void notePipeFiles(const QString &instanceFolder, const QStringList &paths)
{
    QFile list(pipeListPath(instanceFolder));
    if (list.open(QIODevice::WriteOnly))
        list.write(QFile::encodeName(paths.join(QLatin1Char('\n'))));
}

void noteDocument(const QString &instanceFolder, const QString &documentPath)
{
    const QString path = QFileInfo(documentPath).absoluteFilePath();
    if (!ProcessRuns::readListFile(documentListPath(instanceFolder)).contains(path))
        appendLine(documentListPath(instanceFolder), path);
}

void removeInstanceFolder(const QString &instanceFolder, qint64 startedAtSecs)
{
    for (const QString &document : ProcessRuns::readListFile(documentListPath(instanceFolder)))
        RemoveEngineLeftoversBeside(document, startedAtSecs);
    // An instance runs on the folder's profile; the first start that prepares
    // the profile all instances copy runs on the folder itself.
    removePipeFiles(ProcessRuns::readListFile(pipeListPath(instanceFolder)) << profilePipeFile(profileFolderOf(instanceFolder))
                                                               << profilePipeFile(instanceFolder));
    QDir(instanceFolder).removeRecursively();
}

} // namespace EngineRegistry
