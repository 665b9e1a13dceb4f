#pragma once

#include "entries/layer.h"

#include "entries/incomingrows.h"

#include <QByteArray>
#include <QLocale>
#include <QString>

class RegularFile;

// The rows of a text file the user chose to import (CSV, or cells split by
// tabs or semicolons), read a piece at a time until the list is full, so that
// a file far longer than the list costs neither the time nor the memory of
// reading it whole. Only a regular file is read, and at most 256 MB of it.
//
// The text is UTF-8, with or without a byte order mark. A file that is not
// valid UTF-8 is read in the fallback encoding (the system's) when that decodes
// it without a fault, and refused otherwise. A cell that an export made safe for
// spreadsheets is read back as it was (DelimitedText::asWritten).
class TextFileImport
{
public:
    // Throws a Failure with the reason when the file cannot be read.
    TextFileImport(const QString &path, qsizetype room, const QLocale &locale,
                   const QByteArray &fallback = SystemEncoding());

    const IncomingRows &rows() const { return mRows; }
    // The encoding the text was read in when it was not UTF-8; empty for UTF-8.
    QString fallbackUsed() const { return mFallbackUsed; }

    // The encoding of the system's locale, as the C library names it ("UTF-8",
    // "ISO-8859-15").
    static QByteArray SystemEncoding();

private:
    bool readAs(RegularFile &file, const QByteArray &encoding);

    IncomingRows mRows;
    QString mFallbackUsed;
};
