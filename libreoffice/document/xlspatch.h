#pragma once

#include "libreoffice/layer.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Excel 97-2003 workbooks are BIFF8 record streams inside a compound file. LibreOffice marks
// the sheet windows of a workbook it saves from a hidden document as "gridlines shown"
// whatever the document says; these helpers put the flag right in the written file.

// Where, in the file's bytes, the option word of each worksheet's window record (WINDOW2)
// lies, in sheet order. Throws Failure when the bytes are not such a workbook.
QList<qsizetype> WorksheetWindowOptionOffsets(const QByteArray &xls);

// The option word's "show gridlines" bit.
inline constexpr quint16 kWindowShowsGridlines = 0x0002;

// Marks every worksheet window of the workbook at xlsPath as "gridlines not shown", changing
// nothing else. Throws Failure when the file cannot be read or written or is not such a
// workbook, or when it has no worksheet window.
void ClearGridlinesFlag(const QString &xlsPath);

// Sets the total editing time that the summary information of the workbook at
// xlsPath gives, changing nothing else. Throws Failure when the file cannot be
// read or written, or holds no editing time.
void SetEditingTime(const QString &xlsPath, qint64 seconds);
// The total editing time, in whole seconds, that the file's summary
// information gives. Throws Failure as SetEditingTime() does.
qint64 EditingTime(const QString &path);

// Whether the path names an Excel 97-2003 workbook or template.
bool IsExcel97(const QString &path);

// Whether each worksheet of the Excel 97-2003 file at path shows its gridlines.
// Throws Failure when the file cannot be read or is not such a workbook.
QList<bool> GridlinesShown(const QString &path);
