#include "libreoffice/document/loworksheet.h"

#include "entries/numerictest.h"
#include "libreoffice/document/session.h"
#include "libreoffice/document/sheetcharts.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/chart/XChartDocument.hpp>
#include <com/sun/star/chart2/XAxis.hpp>
#include <com/sun/star/chart2/XChartDocument.hpp>
#include <com/sun/star/chart2/XChartTypeContainer.hpp>
#include <com/sun/star/chart2/XCoordinateSystemContainer.hpp>
#include <com/sun/star/chart2/XDataSeriesContainer.hpp>
#include <com/sun/star/chart2/XDiagram.hpp>
#include <com/sun/star/chart2/data/XDataSource.hpp>
#include <com/sun/star/chart2/data/XLabeledDataSequence.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/document/XEmbeddedObjectSupplier.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/sheet/FormulaResult.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/table/CellContentType.hpp>
#include <com/sun/star/table/XTableChartsSupplier.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/util/MalformedNumberFormatException.hpp>
#include <com/sun/star/util/XNumberFormats.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>

#include <algorithm>

namespace {

QString cellName(int row, int column)
{
    QString letters;
    for (int c = column; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar(u'A' + (c - 1) % 26));
    return letters + QString::number(row);
}

} // namespace

Reference<css::table::XCell> LoWorksheet::cell(int row, int column)
{
    if (row < 1 || column < 1 || row > 1048576 || column > 16384)
        throw SpreadsheetError(QStringLiteral("There is no cell at row %1, column %2.").arg(row).arg(column));
    return mSheet->getCellByPosition(column - 1, row - 1);
}

QString LoWorksheet::name()
{
    return mSession->call(QStringLiteral("read the sheet's name"), [&] {
        const Reference<css::container::XNamed> named(mSheet, UNO_QUERY_THROW);
        return toQString(named->getName());
    });
}

Reference<css::table::XCellRange> LoWorksheet::range(int firstRow, int firstColumn, int lastRow, int lastColumn)
{
    if (firstRow < 1 || firstColumn < 1 || lastRow > 1048576 || lastColumn > 16384 || firstRow > lastRow
        || firstColumn > lastColumn)
        throw SpreadsheetError(QStringLiteral("There is no range %1:%2.")
                                       .arg(cellName(firstRow, firstColumn), cellName(lastRow, lastColumn)));
    return mSheet->getCellRangeByPosition(firstColumn - 1, firstRow - 1, lastColumn - 1, lastRow - 1);
}

Any LoWorksheet::amountCell(const QString &typed) const
{
    if (IsNumeric(typed, mSession->typingLocale))
        return Any(mSession->typingLocale.toDouble(typed));
    return Any(toOUString(typed));
}

void LoWorksheet::writeText(const Reference<css::table::XCell> &target, const QString &text)
{
    // setString() stores the text as it is; setFormula() would read it as
    // typed, and a leading "=" would make a live formula of a label.
    if (text.isEmpty())
        target->setFormula(OUString());
    else
        Reference<css::text::XTextRange>(target, UNO_QUERY_THROW)->setString(toOUString(text));
}

void LoWorksheet::setCellText(int row, int column, const QString &text)
{
    ++mSession->edits;
    mSession->call(QStringLiteral("set the value of cell %1").arg(cellName(row, column)),
                   [&] { writeText(cell(row, column), text); });
}

void LoWorksheet::setCellValue(int row, int column, const QString &typed)
{
    ++mSession->edits;
    mSession->call(QStringLiteral("set the value of cell %1").arg(cellName(row, column)), [&] {
        const auto target = cell(row, column);
        if (double number; amountCell(typed) >>= number)
            target->setValue(number);
        else
            writeText(target, typed);
    });
}

void LoWorksheet::setTextAndAmountRows(int firstRow, int column, const QList<TextAndAmount> &rows)
{
    ++mSession->edits;
    if (rows.isEmpty())
        return;
    const int lastRow = firstRow + int(rows.size()) - 1;
    mSession->call(QStringLiteral("set the values of cells %1:%2")
                           .arg(cellName(firstRow, column), cellName(lastRow, column + 1)),
                   [&] {
                       // Strings in a data array are stored as text, never read
                       // as formulas; numbers as numbers; an empty string
                       // leaves the cell empty.
                       Sequence<Sequence<Any>> data(sal_Int32(rows.size()));
                       auto *line = data.getArray();
                       for (qsizetype i = 0; i < rows.size(); ++i) {
                           const Any cells[] = {Any(toOUString(rows.at(i).text)), amountCell(rows.at(i).amount)};
                           line[i] = Sequence<Any>(cells, 2);
                       }
                       const Reference<css::sheet::XCellRangeData> target(range(firstRow, column, lastRow, column + 1),
                                                                          UNO_QUERY_THROW);
                       target->setDataArray(data);
                   });
}

sal_Int32 LoWorksheet::formatKey(const QString &format)
{
    auto known = mFormatKeys.constFind(format);
    if (known != mFormatKeys.constEnd())
        return *known;
    const Reference<css::util::XNumberFormatsSupplier> supplier(mModel, UNO_QUERY_THROW);
    const auto formats = supplier->getNumberFormats();
    // The format is written in the en-US format language. Registered under
    // en-US, though, it is saved to .xls with a "[$-409]" locale prefix that
    // the template's own cells do not carry: they are imported under the
    // system's locale (an empty Locale). So the code is converted to that
    // locale's spelling and registered there, as the template's formats are.
    const css::lang::Locale enUs(OUString("en"), OUString("US"), OUString());
    const css::lang::Locale system;
    const OUString code = toOUString(format);
    sal_Int32 key = -1;
    try {
        key = formats->addNewConverted(code, enUs, system);
    } catch (const css::util::MalformedNumberFormatException &) {
    }
    if (key < 0) {
        key = formats->queryKey(code, enUs, false);
        if (key < 0)
            key = formats->addNew(code, enUs);
    }
    return *mFormatKeys.insert(format, key);
}

void LoWorksheet::setCellNumberFormat(int row, int column, const QString &format)
{
    ++mSession->edits;
    mSession->call(QStringLiteral("set the number format of cell %1").arg(cellName(row, column)), [&] {
        const Reference<css::beans::XPropertySet> properties(cell(row, column), UNO_QUERY_THROW);
        properties->setPropertyValue(OUString("NumberFormat"), Any(formatKey(format)));
    });
}

void LoWorksheet::setRangeNumberFormat(int firstRow, int lastRow, int column, const QString &format)
{
    ++mSession->edits;
    mSession->call(QStringLiteral("set the number format of cells %1:%2")
                           .arg(cellName(firstRow, column), cellName(lastRow, column)),
                   [&] {
                       const Reference<css::beans::XPropertySet> properties(range(firstRow, column, lastRow, column),
                                                                            UNO_QUERY_THROW);
                       properties->setPropertyValue(OUString("NumberFormat"), Any(formatKey(format)));
                   });
}

QVariant LoWorksheet::cellValue(int row, int column)
{
    return mSession->call(QStringLiteral("read cell %1").arg(cellName(row, column)), [&]() -> QVariant {
        const auto target = cell(row, column);
        switch (target->getType()) {
        case css::table::CellContentType_EMPTY:
            return {};
        case css::table::CellContentType_VALUE:
            return target->getValue();
        case css::table::CellContentType_FORMULA: {
            const Reference<css::beans::XPropertySet> properties(target, UNO_QUERY_THROW);
            if (properties->getPropertyValue(OUString("FormulaResultType2")).get<sal_Int32>()
                == css::sheet::FormulaResult::VALUE)
                return target->getValue();
            break;
        }
        default:
            break;
        }
        const Reference<css::text::XTextRange> text(target, UNO_QUERY_THROW);
        return toQString(text->getString());
    });
}

namespace {
// Rows fetched in one exchange: a long list in a few, and never more of a
// sheet in memory at once, on either side, than a block and the rows taken.
constexpr int kRowsPerBlock = 4096;

QVariantList cellsOf(const Sequence<Any> &line)
{
    QVariantList cells;
    for (const Any &cell : line) {
        double value = 0;
        OUString text;
        if (cell >>= value)
            cells.append(value);
        else if ((cell >>= text) && !text.isEmpty())
            cells.append(toQString(text));
        else
            cells.append(QVariant());
    }
    return cells;
}
} // namespace

QList<QVariantList> LoWorksheet::readRows(int firstRow, int column, int columns, int maxRows)
{
    const QString action = QStringLiteral("read the rows from %1 on").arg(cellName(firstRow, column));
    const int usedRows = mSession->call(action, [&] {
        const Reference<css::sheet::XSheetCellCursor> cursor = mSheet->createCursor();
        const Reference<css::sheet::XUsedAreaCursor> used(cursor, UNO_QUERY_THROW);
        used->gotoEndOfUsedArea(false);
        const Reference<css::sheet::XCellRangeAddressable> address(cursor, UNO_QUERY_THROW);
        return int(address->getRangeAddress().EndRow) + 1;
    });
    const int lastRow = std::min(usedRows, firstRow + std::max(maxRows, 0) - 1);
    QList<QVariantList> rows;
    for (int from = firstRow; from <= lastRow; from += kRowsPerBlock) {
        const int to = std::min(lastRow, from + kRowsPerBlock - 1);
        mSession->call(action, [&] {
            const Reference<css::sheet::XCellRangeData> data(range(from, column, to, column + columns - 1),
                                                            UNO_QUERY_THROW);
            const Sequence<Sequence<Any>> block = data->getDataArray();
            for (const Sequence<Any> &line : block)
                rows.append(cellsOf(line));
        });
    }
    return rows;
}

QString LoWorksheet::cellNumberFormat(int row, int column)
{
    return mSession->call(QStringLiteral("read the number format of cell %1").arg(cellName(row, column)), [&] {
        const Reference<css::beans::XPropertySet> properties(cell(row, column), UNO_QUERY_THROW);
        const sal_Int32 key = properties->getPropertyValue(OUString("NumberFormat")).get<sal_Int32>();
        const Reference<css::util::XNumberFormatsSupplier> supplier(mModel, UNO_QUERY_THROW);
        const auto format = supplier->getNumberFormats()->getByKey(key);
        return toQString(format->getPropertyValue(OUString("FormatString")).get<OUString>());
    });
}

void LoWorksheet::extendChartsTo(int lastRow)
{
    ++mSession->edits;
    mSession->call(QStringLiteral("make the charts read down to row %1").arg(lastRow), [&] {
        for (const SheetChart &chart : SheetCharts(mSheet))
            ExtendChartRows(chart, lastRow);
    });
    allowForItsCharts();
}

void LoWorksheet::drawChartsFlat(int smallestLabelledShare)
{
    ++mSession->edits;
    mSession->call(QStringLiteral("draw the charts flat"), [&] {
        for (const SheetChart &chart : SheetCharts(mSheet)) {
            const ChartAxisScales before = DrawChartFlat(chart, smallestLabelledShare);
            auto &flat = mSession->flatCharts;
            // Drawn flat again, it keeps the scales of its first drawing in 3-D.
            if (std::none_of(flat.begin(), flat.end(), [&](const auto &one) { return one.model == chart.model; }))
                flat.push_back({chart.model, before});
        }
    });
}

void LoWorksheet::allowForItsCharts()
{
    const int slices = mSession->call(QStringLiteral("count the slices of the charts"), [&] {
        int count = 0;
        for (const SheetChart &chart : SheetCharts(mSheet))
            count += ChartPointCount(chart);
        return count;
    });
    mSession->allowForChartSlices(slices);
}

QImage LoWorksheet::usedRangePicture()
{
    return picture(DrawingsAfterPicture::Kept);
}

QImage LoWorksheet::usedRangePictureDroppingDrawings(const PictureFirstView &firstView)
{
    return picture(DrawingsAfterPicture::Dropped, firstView);
}

QImage LoWorksheet::picture(DrawingsAfterPicture drawings, const PictureFirstView &firstView)
{
    const QString action = QStringLiteral("take a picture of the used range");
    allowForItsCharts();
    return UsedRangePicture(mSession->alive(action), mModel, mSheet, drawings, firstView);
}

QList<ChartDescription> LoWorksheet::charts()
{
    return mSession->call(QStringLiteral("read the sheet's charts"), [&] {
        QList<ChartDescription> found;
        const Reference<css::table::XTableChartsSupplier> supplier(mSheet, UNO_QUERY_THROW);
        const Reference<css::container::XIndexAccess> tableCharts(supplier->getCharts(), UNO_QUERY_THROW);
        for (sal_Int32 i = 0; i < tableCharts->getCount(); ++i) {
            const Reference<css::document::XEmbeddedObjectSupplier> embedded(tableCharts->getByIndex(i),
                                                                             UNO_QUERY_THROW);
            const auto object = embedded->getEmbeddedObject();
            const Reference<css::chart2::XChartDocument> chart(object, UNO_QUERY_THROW);
            const Reference<css::chart::XChartDocument> oldChart(object, UNO_QUERY_THROW);
            ChartDescription description;
            const Reference<css::beans::XPropertySet> diagramProperties(oldChart->getDiagram(), UNO_QUERY_THROW);
            description.threeD = diagramProperties->getPropertyValue(OUString("Dim3D")).get<bool>();
            const Reference<css::chart2::XCoordinateSystemContainer> systems(chart->getFirstDiagram(),
                                                                            UNO_QUERY_THROW);
            for (const auto &system : systems->getCoordinateSystems()) {
                const auto axis = system->getAxisByDimension(0, 0);
                if (axis.is() && axis->getScaleData().Categories.is())
                    description.categories = toQString(
                            axis->getScaleData().Categories->getValues()->getSourceRangeRepresentation());
                const Reference<css::chart2::XChartTypeContainer> types(system, UNO_QUERY_THROW);
                for (const auto &type : types->getChartTypes()) {
                    description.chartType = toQString(type->getChartType());
                    const Reference<css::chart2::XDataSeriesContainer> series(type, UNO_QUERY_THROW);
                    for (const auto &one : series->getDataSeries()) {
                        const Reference<css::chart2::data::XDataSource> source(one, UNO_QUERY_THROW);
                        for (const auto &sequence : source->getDataSequences()) {
                            if (sequence->getValues().is())
                                description.values.append(
                                        toQString(sequence->getValues()->getSourceRangeRepresentation()));
                            if (sequence->getLabel().is())
                                description.seriesNames.append(
                                        toQString(sequence->getLabel()->getSourceRangeRepresentation()));
                        }
                    }
                }
            }
            found.append(description);
        }
        return found;
    });
}
