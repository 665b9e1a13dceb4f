#pragma once

#include "libreoffice/layer.h"

// Internal to the adapter, as unocall.h is.

#include "libreoffice/picture/bandplan.h"
#include "libreoffice/picture/sheetrowheights.h"
#include "libreoffice/unocall.h"

#include <com/sun/star/awt/Point.hpp>
#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/table/CellRangeAddress.hpp>

#include <QList>
#include <QRect>
#include <QRectF>
#include <QSize>

#include <memory>
#include <utility>

// What a sheet's picture shows, measured on the sheet: its used range and the
// charts on it, reaching from the used range to the farthest chart so that a
// chart placed beside the data is part of it. To be made in an engine call.
class UsedRangeMeasure
{
public:
    explicit UsedRangeMeasure(const css::uno::Reference<css::sheet::XSpreadsheet> &sheet);

    // What the bands are planned from.
    const BandPlanInput &planInput() const { return mInput; }
    const RowHeights &rowHeights() const { return *mRowHeights; }
    // What the picture shows, in whole pixels from the corner of the range drawn.
    QRect full() const { return mFull; }
    // How far full() reaches past the charts' right and bottom edges, in
    // pixels at full size, for lines the engine may draw there. Where it
    // draws none, the margin is no part of the picture.
    QSize chartMargin() const { return mChartMargin; }

private:
    void findUsedArea();
    void findCharts();
    void reachCharts();
    void measureColumns();
    void measureShown();

    std::pair<css::awt::Point, css::awt::Size> cellRect(sal_Int32 column, sal_Int32 row) const;
    css::awt::Point cellPosition(sal_Int32 column, sal_Int32 row) const;

    css::uno::Reference<css::sheet::XSpreadsheet> mSheet;
    css::table::CellRangeAddress mArea;
    QList<QRect> mCharts;   // in 1/100 mm
    sal_Int32 mLeft = 0, mTop = 0, mRight = 0;   // of the used range and the charts, in 1/100 mm
    sal_Int32 mUsedCornerY = 0, mUsedCornerHeight = 0;   // of the used range's first cell
    sal_Int32 mLastColumn = 0;
    BandPlanInput mInput;
    std::unique_ptr<SheetRowHeights> mRowHeights;
    QRect mFull;
    QSize mChartMargin;
};
