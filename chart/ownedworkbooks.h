#pragma once

#include "chart/layer.h"

#include <QString>

// The workbooks this run of the program has made in a shared temporary folder
// and not yet deleted. They are written down in the engine's private folder,
// so that the next start of the program removes the workbooks of a run that
// was killed, and never a file of the user's or of a run still alive.
namespace OwnedWorkbooks {

// Call before the workbook is written: a run killed while saving leaves it too.
// The sheet's picture is claimed the same way, before its name is locked.
void claim(const QString &path);
// Forgets the claim without touching the file: the name was never written by
// this run, or what it wrote there is gone.
void release(const QString &path);
// Deletes the workbook, then its record. One that cannot be deleted stays
// recorded, so that a later start of the program removes it once this run has
// ended. Returns why it could not be deleted; empty once it is gone.
QString remove(const QString &path);
// Removes the workbooks claimed by runs of the program that have ended
// without releasing them, and the sheet's picture such a run was writing, with
// its lock and its unfinished file, once no copy of the program uses that
// name. Never throws.
void removeThoseOfDeadRuns();

} // namespace OwnedWorkbooks
