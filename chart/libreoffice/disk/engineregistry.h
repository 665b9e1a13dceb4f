#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// What this program's engine instances own on disk and in the process table:
// the private folder of this user's instances, the pipes' socket files, the
// processes started and not yet reaped. Whatever a killed program left there
// is found again, and only then removed, by the next start.
namespace EngineRegistry {

// The folder that holds this user's instance folders; created private (0700)
// when missing, refused when someone else could write in it. Sweeps what the
// instances of dead programs left behind. Throws SpreadsheetError.
QString privateRoot();
// Its name, which marks an instance of this tool in a command line.
QString privateRootName();

// The processes that this program started and that have not been reaped yet.
void rememberStarted(qint64 pid);
void forgetStarted(qint64 pid);
QList<qint64> startedPids();

bool processExists(qint64 pid);
// The fields of /proc/PID/stat after the command name, the state first; none
// when the process is gone.
QList<QByteArray> processStatFields(qint64 pid);
// When the process started, in clock ticks since boot: with the process id it
// names one run of a program, even after the id has been reused. Empty when
// the process is gone or has died.
QString processStartTicks(qint64 pid);
// This run of the program: "PID-TICKS". Its folders in the private folder
// start with it, so that they are swept once the run has ended.
QString runName();
// Whether the run of a program that started at those ticks still runs. A
// process whose stat cannot be read at the moment counts as running as long
// as it exists: what a live run owns is never taken for a dead one's.
bool runIsAlive(qint64 pid, const QString &startTicks);
// The name of a new instance folder of this run: the run, then a random part.
QString newInstanceName();

// The socket files the process listens on, under LibreOffice's pipe prefix.
QStringList pipeFilesHeldBy(qint64 pid);
// The sockets bound under that prefix as the process sees them (it may run in
// a network of its own): socket inode -> path.
QHash<QByteArray, QString> pipeSocketsSeenBy(qint64 pid);
// The inodes of the sockets the process holds open.
QList<QByteArray> socketInodesHeldBy(qint64 pid);
QString pipeFilePrefix();
// An instance folder's profile: the instance runs on it alone.
QString profileFolderOf(const QString &instanceFolder);
// The socket file of an instance's check for another instance on the same
// profile folder, named as LibreOffice names it after the profile's URL. A
// killed instance leaves it behind, whether or not it ever answered.
QString profilePipeFile(const QString &profileFolder);
// Removes the listed socket files that are this user's.
void removePipeFiles(const QStringList &paths);
// Narrows the listed socket files that are this user's to their owner.
void restrictPipeFiles(const QStringList &paths);

// The lines of a list file of ours, one entry a line; none when it cannot be
// read.
QStringList readListFile(const QString &path);

// An instance's folder lists its pipes and the documents it had open, so that
// whoever removes the folder after the instance was killed can remove what it
// left beside them.
void notePipeFiles(const QString &instanceFolder, const QStringList &paths);
void noteDocument(const QString &instanceFolder, const QString &documentPath);
// Removes the instance's folder, its pipes, and the lock and save scratch
// files it may have left beside its documents. startedAtSecs: the instance's
// start, so that nothing older is taken for its scratch.
void removeInstanceFolder(const QString &instanceFolder, qint64 startedAtSecs);
// The lock file and save scratch a LibreOffice killed while it had the
// document open leaves beside it: ".~lock.NAME#" and "lu*.tmp".
void removeLeftoversBeside(const QString &documentPath, qint64 notBeforeSecs);

} // namespace EngineRegistry
