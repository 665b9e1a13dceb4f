#include "libreoffice/document/chartexport.h"

#include "libreoffice/document/firstsheet.h"
#include "libreoffice/picture/bandplan.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/chart2/XChartDocument.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/drawing/GraphicExportFilter.hpp>
#include <com/sun/star/drawing/XDrawPageSupplier.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/lang/XComponent.hpp>

#include <cmath>

namespace {

// The first shape of the first sheet whose model is a chart: charts are OLE
// shapes among pictures and drawings.
Reference<css::drawing::XShape> firstChartShape(const Reference<css::frame::XModel> &document)
{
    const auto pages = FirstSheetOf<css::drawing::XDrawPageSupplier>(document);
    const Reference<css::container::XIndexAccess> shapes(pages->getDrawPage(), UNO_QUERY_THROW);
    for (sal_Int32 i = 0; i < shapes->getCount(); ++i) {
        const Reference<css::beans::XPropertySet> shape(shapes->getByIndex(i), UNO_QUERY);
        if (!shape.is() || !shape->getPropertySetInfo()->hasPropertyByName(OUString("Model")))
            continue;
        const Reference<css::chart2::XChartDocument> chart(shape->getPropertyValue(OUString("Model")), UNO_QUERY);
        if (chart.is())
            return Reference<css::drawing::XShape>(shape, UNO_QUERY_THROW);
    }
    return {};
}

} // namespace

void ExportFirstChart(const Reference<css::uno::XComponentContext> &context,
                      const Reference<css::frame::XModel> &document, const QString &target, bool vector, int scale)
{
    const auto shape = firstChartShape(document);
    if (!shape.is())
        throw SpreadsheetError(QStringLiteral("The workbook's first sheet has no chart."));
    QList<css::beans::PropertyValue> filterData;
    if (!vector) {
        const auto size = shape->getSize();
        filterData = {property("PixelWidth", Any(sal_Int32(std::lround(size.Width * kPixelsPerHmm) * scale))),
                      property("PixelHeight", Any(sal_Int32(std::lround(size.Height * kPixelsPerHmm) * scale)))};
    }
    const auto exporter = css::drawing::GraphicExportFilter::create(context);
    exporter->setSourceDocument(Reference<css::lang::XComponent>(shape, UNO_QUERY_THROW));
    const OUString mediaType = vector ? OUString("image/svg+xml") : OUString("image/png");
    const bool written = exporter->filter(properties(
            {property("URL", Any(fileUrl(target))), property("MediaType", Any(mediaType)),
             property("FilterData",
                      Any(Sequence<css::beans::PropertyValue>(filterData.data(), sal_Int32(filterData.size()))))}));
    if (!written)
        throw SpreadsheetError(QStringLiteral("LibreOffice could not draw the chart."));
}
