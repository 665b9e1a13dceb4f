#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Runs of this program as the process table knows them, and the private
// folder where a run notes what it owns, so that what a killed run left behind
// is found by the next start and removed only once that run has ended.
namespace ProcessRuns {

bool processExists(qint64 pid);
// The fields of /proc/PID/stat after the command name, the state first; none
// when the process is gone.
QList<QByteArray> processStatFields(qint64 pid);
// When the process started, in clock ticks since boot: with the process id it
// names one run of a program, even after the id has been reused. Empty when
// the process is gone or has died.
QString processStartTicks(qint64 pid);
// This run of the program: "PID-TICKS". What it notes down starts with it.
QString runName();
// Whether the run of a program that started at those ticks still runs. A
// process whose stat cannot be read at the moment counts as running as long
// as it exists: what a live run owns is never taken for a dead one's.
bool runIsAlive(qint64 pid, const QString &startTicks);

// The folder "quintarra-engine-<uid>" in the system's temporary folder, where
// this user's runs note what they own, as MakePrivateFolder makes it.
QString privateFolder();
QString privateFolderName();

// The lines of a list file of ours, one entry a line; none when it cannot be
// read.
QStringList readListFile(const QString &path);

} // namespace ProcessRuns
