#pragma once

#include "libreoffice/layer.h"

// Internal to the adapter, as unocall.h is.

#include "libreoffice/picture/rowheights.h"
#include "libreoffice/unocall.h"

#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>

// The engine keeps row heights and column widths in twips and draws each cell
// with a whole number of pixels, truncated from a factor a hair below 1/15: a
// row of 300 twips (20 px) is drawn 19 px high. Drawings on the sheet, such as
// charts, are drawn at their exact size. So a long list ends well above where
// the sizes on the sheet say.
int EngineDrawnPixels(sal_Int32 hmm);

// The heights of a sheet's rows, asked of the engine. Rows of one height, as a
// list's rows are, are counted without asking for each of thousands of rows.
class SheetRowHeights : public RowHeights
{
public:
    // Rows are measured down the column given; usedRowHeight is the height of
    // the used range's first row, which a list's rows share.
    SheetRowHeights(const css::uno::Reference<css::sheet::XSpreadsheet> &sheet, sal_Int32 column,
                    sal_Int32 usedRowHeight);

    qint64 drawnPixels(int from, int to) const override;
    qint64 sheetHmm(int from, int to) const override;

private:
    sal_Int32 height(sal_Int32 row) const;
    sal_Int32 top(sal_Int32 row) const;

    css::uno::Reference<css::sheet::XSpreadsheet> mSheet;
    css::uno::Reference<css::container::XIndexAccess> mRows;
    sal_Int32 mColumn;
    sal_Int32 mUsedRowHeight;
};
