#include "libreoffice/document/sheetcharts.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/chart/XChartDocument.hpp>
#include <com/sun/star/chart/XDiagramPositioning.hpp>
#include <com/sun/star/chart2/DataPointLabel.hpp>
#include <com/sun/star/chart2/XAxis.hpp>
#include <com/sun/star/chart2/XChartTypeContainer.hpp>
#include <com/sun/star/chart2/XCoordinateSystemContainer.hpp>
#include <com/sun/star/chart2/XDataSeriesContainer.hpp>
#include <com/sun/star/chart2/XTitled.hpp>
#include <com/sun/star/chart2/XFormattedString.hpp>
#include <com/sun/star/chart2/data/XDataProvider.hpp>
#include <com/sun/star/chart2/data/XDataSink.hpp>
#include <com/sun/star/chart2/data/XDataSource.hpp>
#include <com/sun/star/chart2/data/XLabeledDataSequence.hpp>
#include <com/sun/star/chart2/data/XNumericalDataSequence.hpp>
#include <com/sun/star/chart2/data/XTextualDataSequence.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/drawing/LineStyle.hpp>
#include <com/sun/star/drawing/XDrawPageSupplier.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>

#include <QRegularExpression>
#include <QScopeGuard>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using css::chart2::data::XDataSequence;
using css::chart2::data::XLabeledDataSequence;

// The axis whose scale holds the categories, with each coordinate system's.
QList<Reference<css::chart2::XAxis>> categoryAxes(const SheetChart &chart)
{
    QList<Reference<css::chart2::XAxis>> found;
    const Reference<css::chart2::XCoordinateSystemContainer> systems(chart.model->getFirstDiagram(), UNO_QUERY);
    if (!systems.is())
        return found;
    for (const auto &system : systems->getCoordinateSystems()) {
        const auto axis = system->getAxisByDimension(0, 0);
        if (axis.is() && axis->getScaleData().Categories.is())
            found.append(axis);
    }
    return found;
}

// "$Assets.$B$4:$B$9" down to row 12 is "$Assets.$B$4:$B$12"; a single cell
// or a range over more than one column gives the empty text.
QString extendedRange(const QString &range, int lastRow)
{
    static const QRegularExpression column(QStringLiteral(R"(^(.*\.\$?([A-Z]+)\$?\d+:\$?([A-Z]+)\$?)(\d+)$)"));
    const auto match = column.match(range);
    if (!match.hasMatch() || match.captured(2) != match.captured(3))
        return {};
    return match.captured(1) + QString::number(lastRow);
}

// The same data, read from the new range; what it is in the chart (its role)
// is kept.
Reference<XDataSequence> extended(const SheetChart &chart, const Reference<XDataSequence> &sequence, int lastRow)
{
    if (!sequence.is())
        return {};
    const QString range = extendedRange(toQString(sequence->getSourceRangeRepresentation()), lastRow);
    if (range.isEmpty())
        return {};
    const auto wider = chart.model->getDataProvider()->createDataSequenceByRangeRepresentation(toOUString(range));
    const Reference<css::beans::XPropertySet> oldRole(sequence, UNO_QUERY);
    const Reference<css::beans::XPropertySet> newRole(wider, UNO_QUERY);
    if (oldRole.is() && newRole.is())
        newRole->setPropertyValue(OUString("Role"), oldRole->getPropertyValue(OUString("Role")));
    return wider;
}

// The series' values as the chart reads them, a point each (NaN where a
// cell holds no number); none when it has no values.
Sequence<double> pointValues(const Reference<css::chart2::XDataSeries> &series)
{
    const Reference<css::chart2::data::XDataSource> source(series, UNO_QUERY_THROW);
    for (const auto &labeled : source->getDataSequences()) {
        const Reference<css::chart2::data::XNumericalDataSequence> numbers(labeled->getValues(), UNO_QUERY);
        if (numbers.is())
            return numbers->getNumericalData();
    }
    return {};
}

bool showsAnything(const css::chart2::DataPointLabel &label)
{
    return label.ShowNumber || label.ShowNumberInPercent || label.ShowCategoryName || label.ShowLegendSymbol
            || label.ShowCustomLabel || label.ShowSeriesName;
}

css::chart2::DataPointLabel labelOf(const Reference<css::beans::XPropertySet> &properties)
{
    return properties->getPropertyValue(OUString("Label")).get<css::chart2::DataPointLabel>();
}

// Each axis of the diagram's coordinate systems, with where it is among them.
template <typename Visit>
void forEachAxis(const SheetChart &chart, Visit &&visit)
{
    const Reference<css::chart2::XCoordinateSystemContainer> systems(chart.model->getFirstDiagram(), UNO_QUERY);
    if (!systems.is())
        return;
    const auto all = systems->getCoordinateSystems();
    for (sal_Int32 i = 0; i < all.getLength(); ++i) {
        for (sal_Int32 dimension = 0; dimension < all[i]->getDimension(); ++dimension) {
            for (sal_Int32 index = 0; index <= all[i]->getMaximumAxisIndexByDimension(dimension); ++index) {
                if (const auto axis = all[i]->getAxisByDimension(dimension, index); axis.is())
                    visit(ChartAxisScales::key_type{i, dimension, index}, axis);
            }
        }
    }
}

// Thousands of labels on thin slices cover the pie in black and take most of
// the time the chart is drawn in; each slice of at least the smallest share
// keeps the label the template gives its slices. One call for the series and
// one or two for each point that differs from it: a call for every one of
// 32,766 points would take longer than the rest of the chart.
void labelWideSlicesOnly(const Reference<css::chart2::XDataSeries> &series, int smallestShare)
{
    const Reference<css::beans::XPropertySet> whole(series, UNO_QUERY_THROW);
    const Sequence<double> values = pointValues(series);
    const auto own = PointsWithOwnFormat(series);
    css::chart2::DataPointLabel shown = labelOf(whole);
    if (!showsAnything(shown) && own.hasElements())
        shown = labelOf(series->getDataPointByIndex(own[0]));
    double total = 0;
    for (const double value : values) {
        if (std::isfinite(value))
            total += std::fabs(value);
    }
    const auto wide = [&](sal_Int32 point) {
        return point < values.getLength() && std::isfinite(values[point])
                && ChartSliceShare(values[point], total) >= smallestShare;
    };
    whole->setPropertyValue(OUString("Label"), Any(css::chart2::DataPointLabel()));
    // The template's own points carry a label of their own either way.
    for (const sal_Int32 point : own)
        series->getDataPointByIndex(point)->setPropertyValue(
                OUString("Label"), Any(wide(point) ? shown : css::chart2::DataPointLabel()));
    for (sal_Int32 point = 0; point < values.getLength(); ++point) {
        if (wide(point) && std::find(own.begin(), own.end(), point) == own.end())
            series->getDataPointByIndex(point)->setPropertyValue(OUString("Label"), Any(shown));
    }
}

// A slice of a long list is narrower than the outline the template draws
// around each slice: thousands of outlines would paint the whole pie in the
// outline's colour and hide the slices' own.
void dropOutlines(const Reference<css::chart2::XDataSeries> &series)
{
    const Any none(css::drawing::LineStyle_NONE);
    Reference<css::beans::XPropertySet>(series, UNO_QUERY_THROW)->setPropertyValue(OUString("BorderStyle"), none);
    for (const sal_Int32 point : PointsWithOwnFormat(series))
        series->getDataPointByIndex(point)->setPropertyValue(OUString("BorderStyle"), none);
}

} // namespace

QList<SheetChart> SheetCharts(const Reference<css::uno::XInterface> &sheet)
{
    QList<SheetChart> found;
    const Reference<css::drawing::XDrawPageSupplier> pages(sheet, UNO_QUERY_THROW);
    const Reference<css::container::XIndexAccess> shapes(pages->getDrawPage(), UNO_QUERY_THROW);
    for (sal_Int32 i = 0; i < shapes->getCount(); ++i) {
        const Reference<css::beans::XPropertySet> shape(shapes->getByIndex(i), UNO_QUERY);
        if (!shape.is() || !shape->getPropertySetInfo()->hasPropertyByName(OUString("Model")))
            continue;
        const Reference<css::chart2::XChartDocument> model(shape->getPropertyValue(OUString("Model")), UNO_QUERY);
        if (model.is())
            found.append({Reference<css::drawing::XShape>(shape, UNO_QUERY_THROW), model});
    }
    return found;
}

QList<SheetChart> DocumentCharts(const Reference<css::uno::XInterface> &document)
{
    QList<SheetChart> found;
    const Reference<css::sheet::XSpreadsheetDocument> spreadsheet(document, UNO_QUERY_THROW);
    const Reference<css::container::XIndexAccess> sheets(spreadsheet->getSheets(), UNO_QUERY_THROW);
    for (sal_Int32 i = 0; i < sheets->getCount(); ++i)
        found += SheetCharts(Reference<css::uno::XInterface>(sheets->getByIndex(i), UNO_QUERY_THROW));
    return found;
}

bool HoldChartLayout(const SheetChart &chart)
{
    // Below this the export's lookups cost less than a layout of its own.
    constexpr int kFewestPointsHeld = 1000;
    if (ChartPointCount(chart) < kFewestPointsHeld)
        return false;
    const Reference<css::chart::XChartDocument> diagramOwner(chart.model, UNO_QUERY_THROW);
    const Reference<css::chart::XDiagramPositioning> place(diagramOwner->getDiagram(), UNO_QUERY);
    if (place.is())
        place->calculateDiagramPositionExcludingAxes();
    chart.model->lockControllers();
    return true;
}

void HoldChartLayoutEnd(const SheetChart &chart)
{
    chart.model->unlockControllers();
}

void ExtendChartRows(const SheetChart &chart, int lastRow)
{
    chart.model->lockControllers();
    for (const auto &axis : categoryAxes(chart)) {
        auto scale = axis->getScaleData();
        if (const auto wider = extended(chart, scale.Categories->getValues(), lastRow); wider.is()) {
            scale.Categories->setValues(wider);
            axis->setScaleData(scale);
        }
    }
    for (const auto &series : ChartSeries(chart)) {
        const Reference<css::chart2::data::XDataSource> source(series, UNO_QUERY_THROW);
        const auto sequences = source->getDataSequences();
        for (const auto &labeled : sequences) {
            if (const auto wider = extended(chart, labeled->getValues(), lastRow); wider.is())
                labeled->setValues(wider);
        }
        // Told again, so that the series counts its points anew.
        Reference<css::chart2::data::XDataSink>(series, UNO_QUERY_THROW)->setData(sequences);
    }
    chart.model->unlockControllers();
}

ChartAxisScales DrawChartFlat(const SheetChart &chart, int smallestLabelledShare)
{
    chart.model->lockControllers();
    // Also after a failure, when the instance may be gone: nothing to unlock then.
    const auto unlock = qScopeGuard([&] {
        try {
            chart.model->unlockControllers();
        } catch (const css::uno::Exception &) {
        }
    });
    const Reference<css::chart::XChartDocument> diagramOwner(chart.model, UNO_QUERY_THROW);
    const Reference<css::beans::XPropertySet> diagram(diagramOwner->getDiagram(), UNO_QUERY_THROW);
    ChartAxisScales scales;
    forEachAxis(chart, [&](const ChartAxisScales::key_type &key, const Reference<css::chart2::XAxis> &axis) {
        scales[key] = axis->getScaleData();
    });
    diagram->setPropertyValue(OUString("Dim3D"), Any(false));
    // Made anew with the diagram's new coordinate system.
    for (const auto &series : ChartSeries(chart)) {
        labelWideSlicesOnly(series, smallestLabelledShare);
        dropOutlines(series);
    }
    return scales;
}

void SetChartAxisScales(const SheetChart &chart, const ChartAxisScales &scales)
{
    forEachAxis(chart, [&](const ChartAxisScales::key_type &key, const Reference<css::chart2::XAxis> &axis) {
        if (const auto kept = scales.find(key); kept != scales.end())
            axis->setScaleData(kept->second);
    });
}

void FillSlicesBeyondXlsFormats(const SheetChart &chart)
{
    // The points an .xls workbook holds a format of its own for, at most, of
    // each series: what the export writes and the import reads.
    constexpr sal_Int32 kPointsFormattedInXls = 32000;
    for (const auto &series : ChartSeries(chart)) {
        const Reference<css::beans::XPropertySet> whole(series, UNO_QUERY_THROW);
        const sal_Int32 count = pointValues(series).getLength();
        if (count <= kPointsFormattedInXls || !whole->getPropertyValue(OUString("VaryColorsByPoint")).get<bool>())
            continue;
        const auto own = PointsWithOwnFormat(series);
        std::vector<bool> formatted(count);
        for (const sal_Int32 point : own) {
            if (point >= 0 && point < count)
                formatted[point] = true;
        }
        const Any colour = whole->getPropertyValue(OUString("Color"));
        for (sal_Int32 point = kPointsFormattedInXls; point < count; ++point) {
            if (!formatted[point])
                series->getDataPointByIndex(point)->setPropertyValue(OUString("Color"), colour);
        }
    }
}

void RemoveChart(const SheetChart &chart, const Reference<css::drawing::XShapes> &page)
{
    // A chart taken off the sheet is kept for undoing, written out in the
    // engine's own format: a long pie's points for many seconds. Emptied of
    // its diagram first, it is written in a moment.
    chart.model->setFirstDiagram(nullptr);
    page->remove(chart.shape);
}

QList<Reference<css::chart2::XDataSeries>> ChartSeries(const SheetChart &chart)
{
    QList<Reference<css::chart2::XDataSeries>> found;
    const Reference<css::chart2::XCoordinateSystemContainer> systems(chart.model->getFirstDiagram(), UNO_QUERY);
    if (!systems.is())
        return found;
    for (const auto &system : systems->getCoordinateSystems()) {
        const Reference<css::chart2::XChartTypeContainer> types(system, UNO_QUERY_THROW);
        for (const auto &type : types->getChartTypes()) {
            const Reference<css::chart2::XDataSeriesContainer> container(type, UNO_QUERY_THROW);
            for (const auto &one : container->getDataSeries())
                found.append(one);
        }
    }
    return found;
}

Sequence<sal_Int32> PointsWithOwnFormat(const Reference<css::chart2::XDataSeries> &series)
{
    const Reference<css::beans::XPropertySet> whole(series, UNO_QUERY_THROW);
    return whole->getPropertyValue(OUString("AttributedDataPoints")).get<Sequence<sal_Int32>>();
}

int ChartPointCount(const SheetChart &chart)
{
    int count = 0;
    for (const auto &series : ChartSeries(chart))
        count += int(pointValues(series).getLength());
    return count;
}

QString ChartTitle(const SheetChart &chart)
{
    const Reference<css::chart2::XTitled> titled(chart.model, UNO_QUERY);
    const auto title = titled.is() ? titled->getTitleObject() : Reference<css::chart2::XTitle>();
    QString text;
    if (title.is()) {
        for (const auto &piece : title->getText())
            text += toQString(piece->getString());
    }
    return text;
}

QList<ChartSlice> ChartSlicesOf(const SheetChart &chart)
{
    QList<ChartSlice> slices;
    const auto all = ChartSeries(chart);
    const auto axes = categoryAxes(chart);
    if (all.isEmpty())
        return slices;
    Sequence<OUString> labels;
    if (!axes.isEmpty()) {
        const Reference<css::chart2::data::XTextualDataSequence> text(axes.first()->getScaleData().Categories->getValues(),
                                                                     UNO_QUERY);
        if (text.is())
            labels = text->getTextualData();
    }
    const Reference<css::chart2::data::XDataSource> source(all.first(), UNO_QUERY_THROW);
    for (const auto &labeled : source->getDataSequences()) {
        const Reference<css::chart2::data::XNumericalDataSequence> numbers(labeled->getValues(), UNO_QUERY);
        if (!numbers.is())
            continue;
        const Sequence<double> values = numbers->getNumericalData();
        for (sal_Int32 i = 0; i < values.getLength(); ++i) {
            if (std::isfinite(values[i]))
                slices.append({i < labels.getLength() ? toQString(labels[i]) : QString(), values[i]});
        }
        break;
    }
    return slices;
}

void SetChartAlternativeText(const SheetChart &chart, const QString &title, const QString &description)
{
    const Reference<css::beans::XPropertySet> shape(chart.shape, UNO_QUERY_THROW);
    shape->setPropertyValue(OUString("Title"), Any(toOUString(title)));
    shape->setPropertyValue(OUString("Description"), Any(toOUString(description)));
}
