#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The "show gridlines" flag of the worksheets of an Excel 97-2003 workbook
// (.xls/.xlt), read and changed in the file's bytes. LibreOffice writes the
// flag as "shown" when it saves a document that was never displayed, whatever
// the document says, so a saved template or workbook is mended afterwards.
//
// Each function throws Failure when the bytes are not such a workbook.

// One entry per worksheet, in file order: whether its gridlines are shown.
QList<bool> XlsGridlinesShown(const QByteArray &file);

// Sets the flag of every worksheet, or of each worksheet in file order;
// answers whether any byte changed.
bool SetXlsGridlinesShown(QByteArray &file, bool shown);
bool SetXlsGridlinesShown(QByteArray &file, const QList<bool> &shown);

// The same on a file on disk, rewritten in place only when something changes.
QList<bool> XlsFileGridlinesShown(const QString &path);
bool SetXlsFileGridlinesShown(const QString &path, bool shown);
bool SetXlsFileGridlinesShown(const QString &path, const QList<bool> &shown);
