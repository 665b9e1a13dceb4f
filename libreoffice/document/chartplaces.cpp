#include "libreoffice/document/chartplaces.h"

#include "libreoffice/document/firstsheet.h"
#include "libreoffice/document/sheetcharts.h"

#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/util/XUpdatable.hpp>

namespace {

// Where the chart's frame lies on the sheet, in 1/100 mm.
QRect placeOf(const SheetChart &chart)
{
    const auto position = chart.shape->getPosition();
    const auto size = chart.shape->getSize();
    return QRect(position.X, position.Y, size.Width, size.Height);
}

} // namespace

QList<QRect> FirstSheetChartPlaces(const Reference<css::uno::XInterface> &document)
{
    QList<QRect> places;
    for (const SheetChart &chart : SheetCharts(FirstSheetOf<css::uno::XInterface>(document)))
        places.append(placeOf(chart));
    return places;
}

bool MoveChartsAsReopened(const Reference<css::uno::XInterface> &document, const QList<ReopenedChartPlace> &places)
{
    const QList<SheetChart> charts = SheetCharts(FirstSheetOf<css::uno::XInterface>(document));
    if (charts.size() != places.size())
        return false;
    for (qsizetype i = 0; i < charts.size(); ++i) {
        if (placeOf(charts.at(i)) != places.at(i).open)
            return false;
    }
    for (qsizetype i = 0; i < charts.size(); ++i) {
        const QRect &to = places.at(i).reopened;
        charts.at(i).shape->setPosition(css::awt::Point(to.x(), to.y()));
        charts.at(i).shape->setSize(css::awt::Size(to.width(), to.height()));
        // Laid out now, outside a drawing: a layout that a drawing asks for
        // leaves the chart marked as changed by the layout itself, and the
        // next drawing lays it out once more.
        const Reference<css::lang::XMultiServiceFactory> factory(charts.at(i).model, UNO_QUERY);
        const Reference<css::util::XUpdatable> view(
                factory.is() ? factory->createInstance(OUString("com.sun.star.chart2.ChartView")) : nullptr,
                UNO_QUERY);
        if (view.is())
            view->update();
    }
    return true;
}

void FormatChartsAsReopened(const Reference<css::uno::XInterface> &document,
                            const std::vector<Session::FlatChart> &flatCharts)
{
    for (const SheetChart &chart : SheetCharts(FirstSheetOf<css::uno::XInterface>(document))) {
        for (const Session::FlatChart &flat : flatCharts) {
            if (flat.model == chart.model)
                SetChartAxisScales(chart, flat.scales);
        }
        FillSlicesBeyondXlsFormats(chart);
    }
}
