#include "chart/workbookrows.h"

#include "chart/chartcommand.h"
#include "spreadsheet/spreadsheetserver.h"

using namespace Qt::StringLiterals;

namespace {
QString cellText(const QVariant &cell, const QLocale &numbers)
{
    if (cell.typeId() == QMetaType::Double)
        return numbers.toString(cell.toDouble(), 'g', 15);
    return cell.toString();
}
} // namespace

ReadTable ReadWorkbookRows(SpreadsheetServer &server, const QString &path, const QLocale &locale,
                           std::stop_token stop)
{
    QLocale numbers = locale;
    numbers.setNumberOptions(QLocale::OmitGroupSeparator);
    const std::unique_ptr<Application> app = server.createStoppable(std::move(stop));
    QList<QVariantList> cells;
    try {
        app->setDisplayAlerts(false);
        const std::shared_ptr<Workbook> workbook = app->workbooks().openReadOnly(path);
        const std::shared_ptr<Worksheet> sheet = workbook->firstSheet();
        // One row more than is taken tells whether the sheet goes on.
        cells = sheet->readRows(sheet->name() == u"Assets"_s ? kFirstDataRow : 1, 1, 2, int(kMostRowsRead) + 1);
        workbook->close();
    } catch (...) {
        try {
            app->quit();
        } catch (const std::exception &) {
            // The instance is gone already; what the caller hears is why the workbook could not be read.
        }
        throw;
    }
    app->quit();
    ReadTable table;
    table.rowsLeftUnread = cells.size() > kMostRowsRead;
    if (table.rowsLeftUnread)
        cells.resize(kMostRowsRead);
    table.rows.reserve(cells.size());
    for (const QVariantList &line : cells) {
        QStringList row;
        for (const QVariant &cell : line)
            row.append(cellText(cell, numbers));
        table.rows.append(row);
    }
    return table;
}
