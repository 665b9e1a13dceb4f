#pragma once

#include <QSet>
#include <QStringList>

#include <unistd.h>

// What a test sees of the engine instances it started.

// Ended and reaped, or a zombie left to be reaped.
bool processGone(qint64 pid);
// The instances this process started and has not reaped yet.
QSet<qint64> startedInstances();
// The instance folders of this test process, or of another, still in the
// private folder (the prepared profile they are copied from lives until the
// program ends, and is not counted).
QStringList ourInstanceFolders(qint64 pid = getpid());
