#include "libreoffice/picture/sheetdrawings.h"

#include "libreoffice/document/sheetcharts.h"
#include "libreoffice/picture/bandplan.h"
#include "spreadsheet/sheetpicture.h"

#include <com/sun/star/awt/Point.hpp>
#include <com/sun/star/awt/Rectangle.hpp>
#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/drawing/XDrawPageSupplier.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/drawing/XShapes.hpp>
#include <com/sun/star/util/XModifiable.hpp>

#include <algorithm>

namespace {

// A drawing's frame line and its smoothing reach a pixel or two past the
// rectangle the engine bounds it by.
constexpr sal_Int32 kDrawingOverhangHmm = sal_Int32(4 / kPixelsPerHmm) + 1;

Reference<css::drawing::XShapes> shapesOf(const Reference<css::sheet::XSpreadsheet> &sheet)
{
    const Reference<css::drawing::XDrawPageSupplier> supplier(sheet, UNO_QUERY_THROW);
    return Reference<css::drawing::XShapes>(supplier->getDrawPage(), UNO_QUERY_THROW);
}

// Where the drawing ends, in 1/100 mm from the sheet's top: its bound
// rectangle takes in its line and shadow.
sal_Int32 bottomOf(const Reference<css::drawing::XShape> &shape)
{
    const Reference<css::beans::XPropertySet> properties(shape, UNO_QUERY);
    css::awt::Rectangle bounds;
    if (properties.is() && properties->getPropertySetInfo()->hasPropertyByName(OUString("BoundRect"))
        && (properties->getPropertyValue(OUString("BoundRect")) >>= bounds))
        return std::max(bounds.Y + bounds.Height, shape->getPosition().Y + shape->getSize().Height);
    return shape->getPosition().Y + shape->getSize().Height;
}

sal_Int32 rowTop(const Reference<css::sheet::XSpreadsheet> &sheet, sal_Int32 row)
{
    const Reference<css::beans::XPropertySet> cell(sheet->getCellByPosition(0, row), UNO_QUERY_THROW);
    return cell->getPropertyValue(OUString("Position")).get<css::awt::Point>().Y;
}

} // namespace

SheetDrawings::SheetDrawings(const Reference<css::sheet::XSpreadsheet> &sheet) : mSheet(sheet)
{
    const auto shapes = shapesOf(sheet);
    if (shapes->getCount() == 0)
        return;
    sal_Int32 bottom = 0;
    for (sal_Int32 i = 0; i < shapes->getCount(); ++i) {
        const Reference<css::drawing::XShape> shape(shapes->getByIndex(i), UNO_QUERY);
        if (shape.is())
            bottom = std::max(bottom, bottomOf(shape));
    }
    bottom += kDrawingOverhangHmm;
    const Reference<css::beans::XPropertySet> firstCell(sheet->getCellByPosition(0, 0), UNO_QUERY_THROW);
    const sal_Int32 rowHeight = firstCell->getPropertyValue(OUString("Size")).get<css::awt::Size>().Height;
    constexpr sal_Int32 kLastRow = 1048575;
    mFirstRowBelow = int(FirstIndexWhere(0, kLastRow, bottom / std::max<sal_Int32>(1, rowHeight),
                                         [&](sal_Int32 row) { return rowTop(sheet, row) >= bottom; }));
    // No row of the sheet starts below them.
    if (mFirstRowBelow == kLastRow && rowTop(sheet, kLastRow) < bottom)
        mFirstRowBelow = -1;
}

void SheetDrawings::remove(const Reference<css::frame::XModel> &model)
{
    mFirstRowBelow = -1;
    const Reference<css::util::XModifiable> modifiable(model, UNO_QUERY);
    const bool changed = modifiable.is() && modifiable->isModified();
    const auto shapes = shapesOf(mSheet);
    for (const SheetChart &chart : SheetCharts(mSheet))
        RemoveChart(chart, shapes);
    for (sal_Int32 i = shapes->getCount() - 1; i >= 0; --i) {
        const Reference<css::drawing::XShape> shape(shapes->getByIndex(i), UNO_QUERY);
        if (shape.is())
            shapes->remove(shape);
    }
    if (modifiable.is() && !changed)
        modifiable->setModified(false);
}
