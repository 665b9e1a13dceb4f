#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>

class QIODevice;

// Who may read a file that the program writes.
enum class FileAccess {
    OwnerOnly,   // our own files: the settings, the temporary copies
    Document,    // a copy the user saves: new files follow the umask, a replaced file keeps its mode
    // Owner-only, and read back by the program a moment later and deleted:
    // not flushed to the disk, which for a large picture takes longer than
    // writing it.
    Scratch,
};

// Whose the written file is.
enum class FileOwnership {
    Writer,   // the program's: a saved copy, a scratch file
    // As an editor keeps it: a replaced file keeps its owner and group where the
    // system allows it; a new one belongs to the home's owner where HomeOwnerFor
    // says so.
    Kept,
};

// Replaces the whole content of the file at path with bytes, or leaves what was
// there byte for byte. The bytes go to a fresh file beside the target; every
// write is checked, the data is flushed to the disk and read back, and only then
// is the new file renamed over the old one. A link at the final name is replaced,
// never followed. A failure is thrown as a Failure that ends with the system's own
// words ("No space left on device", "Permission denied", ...).
//
// An existing file that nobody may write (no write bit at all) is refused, also
// for root: its owner marked it so.
void ReplaceFile(const QString &path, const QByteArray &bytes, FileAccess access,
                 FileOwnership ownership = FileOwnership::Writer);

// The same for a scratch file (FileAccess::Scratch) whose content `write` puts
// straight into the new file, answering false when it could not: a content of
// a hundred megabytes need not be held whole in memory on its way to the disk.
void ReplaceScratchFile(const QString &path, const std::function<bool(QIODevice &)> &write);

// A write killed half-way leaves its unfinished file beside the target. Removes
// those in the folder that have not changed for the given time (a minute unless
// said), which no running write can still be making; the caller holds whatever
// lock keeps other writers out.
void RemoveLeftoverParts(const QString &folder, std::chrono::seconds unchangedFor = std::chrono::seconds(60));

// The whole content of the file at path; throws a Failure naming the file when
// it cannot be read.
QByteArray ReadWholeFile(const QString &path);

// Copies the file at source over destination with ReplaceFile (FileAccess::
// Document): an existing destination is replaced only once the copy is whole
// on the disk, so a failed copy leaves the old file as it was.
void CopyFileReplacing(const QString &source, const QString &destination);

// The file that path leads to, link by link, for a write that keeps the links:
// ReplaceFile on the answer changes the file they lead to. A link to a file not
// made yet still says where it goes. Throws a Failure as ReplaceFile does.
QString FollowLinks(const QString &path);
