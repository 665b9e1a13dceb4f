#include "spreadsheet/spreadsheetserver.h"

QString SpreadsheetServer::convertWorkbook(const QString &, ResultFormat, std::stop_token)
{
    throw SpreadsheetError(QStringLiteral("This spreadsheet engine cannot convert a workbook."));
}
