#include "libreoffice/picture/usedrangemeasure.h"

#include "spreadsheet/sheetpicture.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/drawing/XDrawPageSupplier.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>

#include <algorithm>
#include <cmath>

namespace {

// The engine draws a chart up to a pixel and a half further right and down
// than its place on the sheet says, and its frame's line lies along its edges,
// shaded into the pixels beside it: measured at its exact place, the chart
// lost its right and bottom lines. The picture reaches this far past a
// chart's measured edges; what it shows of that margin is cut back to the
// last line drawn.
constexpr int kChartOverhang = 4;   // pixels
constexpr sal_Int32 kChartOverhangHmm = sal_Int32(kChartOverhang / kPixelsPerHmm) + 1;

} // namespace

UsedRangeMeasure::UsedRangeMeasure(const Reference<css::sheet::XSpreadsheet> &sheet) : mSheet(sheet)
{
    findUsedArea();
    findCharts();
    if (!mCharts.isEmpty())
        reachCharts();
    measureColumns();
    const Reference<css::table::XColumnRowRange> columnRows(sheet, UNO_QUERY_THROW);
    const Reference<css::beans::XPropertySet> usedRow(columnRows->getRows()->getByIndex(mArea.StartRow),
                                                      UNO_QUERY_THROW);
    mInput.usedRowHeight = usedRow->getPropertyValue(OUString("Height")).get<sal_Int32>();
    mRowHeights = std::make_unique<SheetRowHeights>(sheet, mInput.firstColumn, mInput.usedRowHeight);
    measureShown();
}

std::pair<css::awt::Point, css::awt::Size> UsedRangeMeasure::cellRect(sal_Int32 column, sal_Int32 row) const
{
    const Reference<css::beans::XPropertySet> properties(mSheet->getCellByPosition(column, row), UNO_QUERY_THROW);
    const auto position = properties->getPropertyValue(OUString("Position")).get<css::awt::Point>();
    const auto size = properties->getPropertyValue(OUString("Size")).get<css::awt::Size>();
    return std::pair(position, size);
}

// Where a cell starts, when its size is not needed.
css::awt::Point UsedRangeMeasure::cellPosition(sal_Int32 column, sal_Int32 row) const
{
    const Reference<css::beans::XPropertySet> properties(mSheet->getCellByPosition(column, row), UNO_QUERY_THROW);
    return properties->getPropertyValue(OUString("Position")).get<css::awt::Point>();
}

void UsedRangeMeasure::findUsedArea()
{
    const auto cursor = mSheet->createCursor();
    const Reference<css::sheet::XUsedAreaCursor> used(cursor, UNO_QUERY_THROW);
    used->gotoStartOfUsedArea(false);
    used->gotoEndOfUsedArea(true);
    mArea = Reference<css::sheet::XCellRangeAddressable>(cursor, UNO_QUERY_THROW)->getRangeAddress();
    mInput.firstColumn = mInput.usedFirstColumn = mArea.StartColumn;
    mLastColumn = mInput.usedLastColumn = mArea.EndColumn;
    mInput.firstRow = mArea.StartRow;
    mInput.lastRow = mArea.EndRow;
    const auto [usedCorner, usedCornerSize] = cellRect(mArea.StartColumn, mArea.StartRow);
    const auto [usedEnd, usedEndSize] = cellRect(mArea.EndColumn, mArea.EndRow);
    mLeft = usedCorner.X;
    mTop = usedCorner.Y;
    mUsedCornerY = usedCorner.Y;
    mUsedCornerHeight = usedCornerSize.Height;
    mRight = usedEnd.X + usedEndSize.Width;
}

void UsedRangeMeasure::findCharts()
{
    const Reference<css::drawing::XDrawPageSupplier> pageSupplier(mSheet, UNO_QUERY_THROW);
    const Reference<css::container::XIndexAccess> shapes(pageSupplier->getDrawPage(), UNO_QUERY_THROW);
    for (sal_Int32 i = 0; i < shapes->getCount(); ++i) {
        const Reference<css::drawing::XShape> shape(shapes->getByIndex(i), UNO_QUERY);
        if (!shape.is() || shape->getShapeType() != "com.sun.star.drawing.OLE2Shape")
            continue;
        const auto position = shape->getPosition();
        const auto size = shape->getSize();
        mLeft = std::min(mLeft, position.X);
        mTop = std::min(mTop, position.Y);
        mRight = std::max(mRight, position.X + size.Width + kChartOverhangHmm);
        mCharts.append(QRect(position.X, position.Y, size.Width + kChartOverhangHmm, size.Height + kChartOverhangHmm));
    }
    mInput.hasCharts = !mCharts.isEmpty();
}

// The range drawn grows to take in the charts.
void UsedRangeMeasure::reachCharts()
{
    sal_Int32 &firstColumn = mInput.firstColumn;
    sal_Int32 &firstRow = mInput.firstRow;
    while (firstColumn > 0 && cellPosition(firstColumn, firstRow).X > mLeft)
        --firstColumn;
    while (firstRow > 0 && cellPosition(firstColumn, firstRow).Y > mTop)
        --firstRow;
    // Guessed as if the columns past the used range were all as wide as the
    // first of them, and the rows as high as the used range's first.
    const sal_Int32 pastColumn = std::min(mArea.EndColumn + 1, 16383);
    const auto [past, pastSize] = cellRect(pastColumn, firstRow);
    const sal_Int32 columnGuess = pastColumn + (mRight - past.X) / std::max<sal_Int32>(1, pastSize.Width);
    mLastColumn = sal_Int32(FirstIndexWhere(mLastColumn, 16383, columnGuess, [&](sal_Int32 column) {
        const auto [position, size] = cellRect(column, firstRow);
        return position.X + size.Width >= mRight;
    }));
    sal_Int32 chartsBottom = mTop;
    for (const QRect &chart : std::as_const(mCharts))
        chartsBottom = std::max(chartsBottom, chart.y() + chart.height());
    const sal_Int32 rowGuess =
            mArea.StartRow + (chartsBottom - mUsedCornerY) / std::max<sal_Int32>(1, mUsedCornerHeight);
    mInput.chartsLastRow = sal_Int32(FirstIndexWhere(firstRow, 1048575, rowGuess, [&](sal_Int32 row) {
        const auto [position, size] = cellRect(firstColumn, row);
        return position.Y + size.Height >= chartsBottom;
    }));
    mInput.lastRow = std::max(mInput.lastRow, mInput.chartsLastRow);
}

// A cell's left edge does not depend on its row: the columns are measured
// along the range's first row.
void UsedRangeMeasure::measureColumns()
{
    const Reference<css::table::XColumnRowRange> columnRows(mSheet, UNO_QUERY_THROW);
    const Reference<css::container::XIndexAccess> columns(columnRows->getColumns(), UNO_QUERY_THROW);
    for (sal_Int32 column = mInput.firstColumn; column <= mLastColumn; ++column) {
        const Reference<css::beans::XPropertySet> line(columns->getByIndex(column), UNO_QUERY_THROW);
        BandPlanInput::Column measured;
        measured.left = cellPosition(column, mInput.firstRow).X;
        measured.width = line->getPropertyValue(OUString("Width")).get<sal_Int32>();
        measured.drawn = EngineDrawnPixels(sal_Int32(measured.width));
        mInput.columns.append(measured);
    }
}

// Where the cells are drawn, in whole pixels per row and column; the charts
// at their exact size.
void UsedRangeMeasure::measureShown()
{
    const auto rangeCorner = cellPosition(mInput.firstColumn, mInput.firstRow);
    QRectF shown(mInput.drawnWidth(mInput.firstColumn, mArea.StartColumn),
                 mRowHeights->drawnPixels(mInput.firstRow, mArea.StartRow),
                 mInput.drawnWidth(mArea.StartColumn, mArea.EndColumn + 1),
                 mRowHeights->drawnPixels(mArea.StartRow, mArea.EndRow + 1));
    // Without the charts' margins, where nothing but a chart's edge may show.
    QRectF exact = shown;
    for (const QRect &chart : std::as_const(mCharts)) {
        const QRectF place((chart.x() - rangeCorner.X) * kPixelsPerHmm, (chart.y() - rangeCorner.Y) * kPixelsPerHmm,
                           chart.width() * kPixelsPerHmm, chart.height() * kPixelsPerHmm);
        shown |= place;
        exact |= place.adjusted(0, 0, -kChartOverhangHmm * kPixelsPerHmm, -kChartOverhangHmm * kPixelsPerHmm);
    }
    const auto wholePixels = [](const QRectF &area) {
        return QRect(QPoint(int(std::floor(area.left())), int(std::floor(area.top()))),
                     QPoint(int(std::ceil(area.right())) - 1, int(std::ceil(area.bottom())) - 1));
    };
    mFull = wholePixels(shown);
    const QRect exactFull = wholePixels(exact);
    mChartMargin = QSize(mFull.right() - exactFull.right(), mFull.bottom() - exactFull.bottom());
    mInput.shownBottom = qint64(std::ceil(shown.bottom()));
    mInput.scale = SheetPictureScale(mFull.size());
}
