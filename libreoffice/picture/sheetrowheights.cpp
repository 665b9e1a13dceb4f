#include "libreoffice/picture/sheetrowheights.h"

#include <com/sun/star/awt/Point.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/table/XTableRows.hpp>

#include <algorithm>
#include <cmath>

int EngineDrawnPixels(sal_Int32 hmm)
{
    const qint64 twips = std::llround(hmm * 1440.0 / 2540.0);
    if (twips <= 0)
        return 0;
    return int(std::max<qint64>(1, (twips * 96 - 1) / 1440));
}

SheetRowHeights::SheetRowHeights(const Reference<css::sheet::XSpreadsheet> &sheet, sal_Int32 column,
                                 sal_Int32 usedRowHeight)
    : mSheet(sheet),
      mRows(Reference<css::table::XColumnRowRange>(sheet, UNO_QUERY_THROW)->getRows(), UNO_QUERY_THROW),
      mColumn(column),
      mUsedRowHeight(usedRowHeight)
{
}

sal_Int32 SheetRowHeights::height(sal_Int32 row) const
{
    const Reference<css::beans::XPropertySet> line(mRows->getByIndex(row), UNO_QUERY_THROW);
    return line->getPropertyValue(OUString("Height")).get<sal_Int32>();
}

sal_Int32 SheetRowHeights::top(sal_Int32 row) const
{
    const Reference<css::beans::XPropertySet> properties(mSheet->getCellByPosition(mColumn, row), UNO_QUERY_THROW);
    return properties->getPropertyValue(OUString("Position")).get<css::awt::Point>().Y;
}

qint64 SheetRowHeights::sheetHmm(int from, int to) const
{
    return qint64(top(to - 1)) + height(to - 1) - top(from);
}

qint64 SheetRowHeights::drawnPixels(int from, int to) const
{
    if (to <= from)
        return 0;
    const qint64 count = to - from;
    // Each row's size is rounded from twips on its own: allow that much.
    if (height(from) == mUsedRowHeight && height(to - 1) == mUsedRowHeight
        && std::abs(sheetHmm(from, to) - count * mUsedRowHeight) <= count / 2 + 2)
        return count * EngineDrawnPixels(mUsedRowHeight);
    qint64 pixels = 0;
    for (sal_Int32 i = from; i < to; ++i)
        pixels += EngineDrawnPixels(height(i));
    return pixels;
}
