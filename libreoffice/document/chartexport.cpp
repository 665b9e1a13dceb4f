#include "libreoffice/document/chartexport.h"

#include "libreoffice/document/firstsheet.h"
#include "libreoffice/document/session.h"
#include "libreoffice/document/sheetcharts.h"
#include "libreoffice/picture/bandplan.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/drawing/GraphicExportFilter.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/lang/XComponent.hpp>

#include <QFile>
#include <QXmlStreamReader>

#include <cmath>

namespace {

// The SVG's own text for assistive technology: a <title> and a <desc> as the
// first children of its root element.
void addTitleAndDescription(const QString &path, const QString &title, const QString &description)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw SpreadsheetError(QStringLiteral("Cannot read the chart's picture %1.").arg(quoted(path)));
    QByteArray svg = file.readAll();
    file.close();
    QXmlStreamReader reader(svg);
    while (!reader.atEnd() && !(reader.readNext() == QXmlStreamReader::StartElement && reader.name() == u"svg")) {
    }
    if (reader.hasError() || reader.atEnd())
        throw SpreadsheetError(QStringLiteral("LibreOffice drew the chart as no SVG picture."));
    const QString text = QStringLiteral("<title>%1</title><desc>%2</desc>").arg(title.toHtmlEscaped(), description.toHtmlEscaped());
    svg.insert(qsizetype(reader.characterOffset()), text.toUtf8());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(svg) != svg.size() || !file.flush())
        throw SpreadsheetError(QStringLiteral("Cannot write the chart's picture %1.").arg(quoted(path)));
}

} // namespace

void ExportFirstChart(const Reference<css::uno::XComponentContext> &context,
                      const Reference<css::frame::XModel> &document, const QString &target, bool vector, int scale)
{
    const QList<SheetChart> charts = SheetCharts(FirstSheetOf<css::uno::XInterface>(document));
    if (charts.isEmpty())
        throw SpreadsheetError(QStringLiteral("The workbook's first sheet has no chart."));
    const auto &shape = charts.first().shape;
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
    if (vector) {
        const QString title = ChartTitle(charts.first());
        addTitleAndDescription(target, title, ChartSummary(title, ChartSlicesOf(charts.first())));
    }
}
