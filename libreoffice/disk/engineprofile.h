#pragma once

#include "libreoffice/layer.h"

#include <QString>
#include <QStringList>

#include <chrono>

// The profile an instance starts on: settings written before its first start,
// copied from a profile prepared once per run of the program.
namespace EngineProfile {

// Writes the seeded settings into a new profile folder. Throws SpreadsheetError.
void writeSeed(const QString &profile);

// Fills the folder with a copy of the prepared profile of the given program,
// preparing it first when this run has not done so: LibreOffice's first start
// on a new profile sets it up and exits asking for a restart, which each copy
// is spared. When the preparation fails the folder is only seeded, and the
// instance goes through the restart itself. A preparation that does not end
// within the timeout is killed and throws SpreadsheetError, as a hung call does.
void prepareCopy(const QString &profile, const QString &program, std::chrono::milliseconds timeout);

// The arguments that name a profile folder.
QString profileArgument(const QString &profile);
// The profile folder's URL as the instance is given it.
QString profileUrl(const QString &profile);

// The switches every start of LibreOffice here begins with: no window, no
// start centre, no recovery, no lock check.
QStringList headlessSwitches();

// LibreOffice asks to be started again, with the same arguments, after it has
// set up a brand-new profile.
constexpr int kRestartRequested = 81;

// Removes this run's prepared profiles; called as the program ends.
void removePrepared();

} // namespace EngineProfile
