#pragma once

#include <QByteArray>
#include <QString>

// A file the user chose to read, opened so that only a regular file is read:
// the opening does not wait on a named pipe, a folder, pipe, socket or device
// (also one behind a link) is refused with one plain reason, and a read stops
// at the limit it is given, whatever the file's size says.
class RegularFile
{
public:
    // Throws a Failure with the reason ("It is a folder, not a file.", or the
    // system's words) when path is not a regular file that can be read.
    explicit RegularFile(const QString &path);
    ~RegularFile();
    RegularFile(const RegularFile &) = delete;
    RegularFile &operator=(const RegularFile &) = delete;

    // Up to max bytes from where the last read ended; empty at the end of the
    // file. Throws a Failure with the system's words.
    QByteArray read(qsizetype max);
    // The next read starts again at the beginning.
    void rewind();

    // The same checks without reading: for a file another program opens by name.
    static void check(const QString &path) { RegularFile opened(path); }

private:
    int mFd = -1;
};
