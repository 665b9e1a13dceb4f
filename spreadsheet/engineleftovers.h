#pragma once

#include "spreadsheet/layer.h"

#include <QString>

// What a spreadsheet instance leaves beside a document it has open, and
// behind when it is killed with the document still open.

// Whether path is a plain file (not a link) of this user's, changed no
// earlier than notBeforeSecs: only such a file is ever swept.
bool IsThisUsersFile(const QString &path, qint64 notBeforeSecs = 0);

// The lock file kept beside an open document: ".~lock.NAME#".
QString EngineLockFileOf(const QString &document);

// Removes the lock file and the save scratch ("lu*.tmp", written beside the
// target before it is renamed) of a killed instance, when they are this
// user's and the scratch is no older than notBeforeSecs.
void RemoveEngineLeftoversBeside(const QString &document, qint64 notBeforeSecs);
