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

QList<QStringList> ReadWorkbookRows(SpreadsheetServer &server, const QString &path, const QLocale &locale)
{
    QLocale numbers = locale;
    numbers.setNumberOptions(QLocale::OmitGroupSeparator);
    const std::unique_ptr<Application> app = server.create();
    QList<QVariantList> cells;
    try {
        app->setDisplayAlerts(false);
        const std::shared_ptr<Workbook> workbook = app->workbooks().open(path);
        const std::shared_ptr<Worksheet> sheet = workbook->firstSheet();
        cells = sheet->readRows(sheet->name() == u"Assets"_s ? kFirstDataRow : 1, 1, 2);
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
    QList<QStringList> rows;
    rows.reserve(cells.size());
    for (const QVariantList &line : cells) {
        QStringList row;
        for (const QVariant &cell : line)
            row.append(cellText(cell, numbers));
        rows.append(row);
    }
    return rows;
}
