#pragma once

#include "libreoffice/layer.h"

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

// The folder that holds this user's instance folders (ProcessRuns'
// private folder). Sweeps what the instances of dead programs left behind.
// Throws SpreadsheetError.
QString privateRoot();

// The processes that this program started and that have not been reaped yet.
void rememberStarted(qint64 pid);
void forgetStarted(qint64 pid);
QList<qint64> startedPids();

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

// An instance's folder lists its pipes and the documents it had open, so that
// whoever removes the folder after the instance was killed can remove what it
// left beside them.
void notePipeFiles(const QString &instanceFolder, const QStringList &paths);
void noteDocument(const QString &instanceFolder, const QString &documentPath);
// Removes the instance's folder, its pipes, and the lock and save scratch
// files it may have left beside its documents. startedAtSecs: the instance's
// start, so that nothing older is taken for its scratch.
void removeInstanceFolder(const QString &instanceFolder, qint64 startedAtSecs);

} // namespace EngineRegistry
