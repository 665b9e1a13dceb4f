#include "spreadsheet/spreadsheetserver.h"

QString SpreadsheetServer::convertWorkbook(const QString &, ResultFormat)
{
    throw SpreadsheetError(QStringLiteral("This spreadsheet engine cannot convert a workbook."));
}
