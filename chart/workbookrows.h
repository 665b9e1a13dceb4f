#pragma once

#include "chart/layer.h"

#include <QList>
#include <QLocale>
#include <QStringList>

class SpreadsheetServer;

// The rows of a workbook (.xls, .xlsx, .ods), as a paste brings them: the
// first sheet's first two columns, whichever sheet the file was saved with in
// front, read by a hidden instance of the engine that ends before this returns. In a workbook this program made (its sheet
// "Assets") the rows under the header. Numbers come as the locale writes
// them, without grouping. A workbook the engine cannot open throws
// SpreadsheetError.
QList<QStringList> ReadWorkbookRows(SpreadsheetServer &server, const QString &path,
                                    const QLocale &locale = QLocale());
