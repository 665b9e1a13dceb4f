#pragma once

#include "libreoffice/layer.h"

#include "libreoffice/libreofficeserver.h"
#include "libreoffice/picture/usedrangepicture.h"
#include "libreoffice/unocall.h"
#include "spreadsheet/spreadsheetserver.h"

#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>

#include <QHash>

#include <memory>

struct Session;

// A sheet of a workbook open in one of this tool's instances.
class LoWorksheet : public Worksheet
{
public:
    LoWorksheet(std::shared_ptr<Session> session, Reference<css::frame::XModel> model,
                Reference<css::sheet::XSpreadsheet> sheet)
        : mSession(std::move(session)), mModel(std::move(model)), mSheet(std::move(sheet)) {}

    QString name() override;
    void setCellText(int row, int column, const QString &text) override;
    void setCellValue(int row, int column, const QString &typed) override;
    void setCellNumberFormat(int row, int column, const QString &format) override;
    void setTextAndAmountRows(int firstRow, int column, const QList<TextAndAmount> &rows) override;
    void setRangeNumberFormat(int firstRow, int lastRow, int column, const QString &format) override;
    QVariant cellValue(int row, int column) override;
    QList<QVariantList> readRows(int firstRow, int column, int columns, int maxRows) override;
    QString cellNumberFormat(int row, int column) override;
    void extendChartsTo(int lastRow) override;
    void drawChartsFlat(int smallestLabelledShare) override;
    QImage usedRangePicture() override;
    QImage usedRangePictureDroppingDrawings(const PictureFirstView &firstView) override;
    QList<ChartDescription> charts();

private:
    Reference<css::table::XCell> cell(int row, int column);
    Reference<css::table::XCellRange> range(int firstRow, int firstColumn, int lastRow, int lastColumn);
    sal_Int32 formatKey(const QString &format);
    // The calls that save, close and draw the workbook are given time for
    // the slices of the sheet's charts.
    void allowForItsCharts();
    QImage picture(DrawingsAfterPicture drawings, const PictureFirstView &firstView = {});
    // What a typed amount is written as: a number when it passes the numeric
    // test, otherwise the text itself.
    Any amountCell(const QString &typed) const;
    // Stores the text as it is; the empty text empties the cell.
    static void writeText(const Reference<css::table::XCell> &target, const QString &text);

    std::shared_ptr<Session> mSession;
    Reference<css::frame::XModel> mModel;
    Reference<css::sheet::XSpreadsheet> mSheet;
    // The document's key of each number format already set: every row of a
    // list gets the same format, and looking it up is a round trip each time.
    QHash<QString, sal_Int32> mFormatKeys;
};
