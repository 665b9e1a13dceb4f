#pragma once

#include <QString>

// Creates the folder at path for this user alone (0700), or checks the one
// already there: a folder of this user's, not a link, narrowed to this user
// alone when it is open to others. Ours may have been made again with the
// umask's mode after a cleaner removed it: a LibreOffice instance of ours
// makes the folders of its paths that way. The checks run on the opened
// folder itself (O_NOFOLLOW), so nothing can be swapped in between. Throws a
// Failure that names the folder as `what` ("temporary folder"...) and says why.
QString MakePrivateFolder(const QString &path, const QString &what);
