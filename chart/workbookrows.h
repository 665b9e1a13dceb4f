#pragma once

#include "chart/layer.h"

#include "entries/incomingrows.h"

#include <QList>
#include <QLocale>
#include <QStringList>

#include <stop_token>

class SpreadsheetServer;

// The rows of a workbook (.xls, .xlsx, .ods), as a paste brings them: the
// first sheet's first two columns, whichever sheet the file was saved with in
// front, read by a hidden instance of the engine that ends before this returns. In a workbook this program made (its sheet
// "Assets") the rows under the header. Numbers come as the locale writes
// them, without grouping. The file is opened read-only and read no further
// than a list can take. A workbook the engine cannot open throws
// SpreadsheetError, and so does a stop request, from whichever thread, which
// ends the engine's work at once.
ReadTable ReadWorkbookRows(SpreadsheetServer &server, const QString &path, const QLocale &locale = QLocale(),
                           std::stop_token stop = {});
