#pragma once

#include <QString>

// Where the chart command keeps its working files.

// The value of the environment variable whose name matches without regard to
// case, as names are matched on the platform the tool comes from: "temp" and
// "TEMP" are the same variable. An exact match wins; unset gives the null text.
QString EnvironmentValueAnyCase(const QString &name);

// The value of "TEMP" when it is set and not empty, used as it stands.
// Otherwise a folder private to this user (see PrivateTemporaryFolder()).
// Throws a Failure when no safe folder can be had.
QString TemporaryFolder();

// TemporaryFolder(), "/", name.
QString TemporaryFilePath(const QString &name);

// A folder only this user can enter: "quintarra" under $XDG_RUNTIME_DIR when
// that is a private folder of ours, else "quintarra-<uid>" in the system's
// temporary folder. Created with mode 0700; an existing one must be a real
// folder (not a link) owned by this user, and is narrowed to 0700. Fixed file
// names in a shared folder such as /tmp would let another user plant a link
// there and have us write through it.
QString PrivateTemporaryFolder();

// Narrows the file to its owner (mode 0600). A link at the path is not
// followed: it fails, as does a path that is not a plain file.
void RestrictToOwner(const QString &path);
