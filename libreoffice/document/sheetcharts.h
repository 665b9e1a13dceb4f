#pragma once

#include "libreoffice/layer.h"

// Internal to the adapter, as unocall.h is.

#include "libreoffice/unocall.h"
#include "entries/chartsummary.h"

#include <com/sun/star/chart2/ScaleData.hpp>
#include <com/sun/star/chart2/XChartDocument.hpp>
#include <com/sun/star/chart2/XDataSeries.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/drawing/XShapes.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>

#include <QList>

#include <array>
#include <map>

// The charts embedded in a sheet, as the shapes that hold them and as their
// models. To be called in an engine call.
struct SheetChart {
    Reference<css::drawing::XShape> shape;
    Reference<css::chart2::XChartDocument> model;
};
QList<SheetChart> SheetCharts(const Reference<css::uno::XInterface> &sheet);

// Each range of a column the chart reads (its categories, each series'
// values) is made to end at the row, 1-based, from the row it starts at. A
// single cell, such as a series' name, stays as it is.
void ExtendChartRows(const SheetChart &chart, int lastRow);

// The scales of a chart's axes, by coordinate system, dimension and index;
// among them the direction its pie turns in.
using ChartAxisScales = std::map<std::array<sal_Int32, 3>, css::chart2::ScaleData>;

// The chart is drawn flat instead of in 3-D; of its slices, only those whose
// share of the pie (in whole percent, as its labels round it) is at least the
// smallest labelled share keep the template's label, the others have none.
// Gives the scales its axes had before: the engine turns a pie that it makes
// anew the other way round from one it reads from a workbook, such as the
// template's, or the saved workbook's once opened again.
ChartAxisScales DrawChartFlat(const SheetChart &chart, int smallestLabelledShare);

// Gives the chart's axes those scales, where it has the axes.
void SetChartAxisScales(const SheetChart &chart, const ChartAxisScales &scales);

// A slice of a series whose slices vary in colour, beyond those an .xls
// workbook holds the fill of, is filled in the series' own colour, as the
// workbook opened again fills it.
void FillSlicesBeyondXlsFormats(const SheetChart &chart);

// Every chart of every sheet of a spreadsheet document.
QList<SheetChart> DocumentCharts(const Reference<css::uno::XInterface> &document);

// A chart of many points is laid out once, as it is now, and then kept from
// laying itself out again until HoldChartLayoutEnd; false for a chart of few
// points, which is left as it is. The .xls export asks for the plot area's
// place only after it has given each point of a pie its own format, and a
// layout then looks each point up among all the formatted ones: for tens of
// thousands of points, most of the save. The formats it gives are the colours
// the points have already, so the place is the same. A chart of few points
// is not held: the instance that saved it may draw it next, from the layout
// the export made.
bool HoldChartLayout(const SheetChart &chart);
void HoldChartLayoutEnd(const SheetChart &chart);

// The chart is taken off the drawing page that holds it.
void RemoveChart(const SheetChart &chart, const Reference<css::drawing::XShapes> &page);

// Every series of every chart type of the chart's first diagram.
QList<Reference<css::chart2::XDataSeries>> ChartSeries(const SheetChart &chart);
// The series' points that have a format of their own.
Sequence<sal_Int32> PointsWithOwnFormat(const Reference<css::chart2::XDataSeries> &series);

// The points of all the chart's series.
int ChartPointCount(const SheetChart &chart);

// The chart's title, and its first series' points as the chart reads them:
// each category with its value; points without a number are left out.
QString ChartTitle(const SheetChart &chart);
QList<ChartSlice> ChartSlicesOf(const SheetChart &chart);

// The text assistive technology reads for the chart object: its title and
// its description (the chart told as text), on the shape that holds it.
void SetChartAlternativeText(const SheetChart &chart, const QString &title, const QString &description);
