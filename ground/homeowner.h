#pragma once

#include <QString>

#include <optional>

#include <sys/types.h>

// Who a file belongs to.
struct FileOwner
{
    uid_t uid;
    gid_t gid;
};

// Whose a file or folder that the program makes at path must be. Run as root
// with another user's home (as sudo -E leaves it), what it makes under that
// home is the home owner's, or the user's own runs could no longer read or
// replace it. Empty otherwise: the maker owns what it makes.
std::optional<FileOwner> HomeOwnerFor(const QString &path);

// Hands a file or folder just made at path to HomeOwnerFor's owner, if any.
// Answers false when the system refused.
bool GiveToHomeOwner(const QString &path);
