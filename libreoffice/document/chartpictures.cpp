#include "libreoffice/document/chartpictures.h"

#include "libreoffice/document/firstsheet.h"
#include "libreoffice/document/sheetcharts.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/drawing/GraphicExportFilter.hpp>
#include <com/sun/star/drawing/XDrawPageSupplier.hpp>
#include <com/sun/star/drawing/XShapes.hpp>
#include <com/sun/star/graphic/GraphicProvider.hpp>
#include <com/sun/star/io/SequenceInputStream.hpp>
#include <com/sun/star/io/SequenceOutputStream.hpp>
#include <com/sun/star/io/XOutputStream.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>

namespace {

// The chart drawn as LibreOffice's own metafile, which keeps each of its
// paths and texts as the chart draws them: the PDF's text stays text. None
// when LibreOffice cannot draw it so.
Reference<css::graphic::XGraphic> pictureOf(const Reference<css::uno::XComponentContext> &context,
                                            const Reference<css::drawing::XShape> &chart)
{
    const auto exporter = css::drawing::GraphicExportFilter::create(context);
    exporter->setSourceDocument(Reference<css::lang::XComponent>(chart, UNO_QUERY_THROW));
    const auto drawn = css::io::SequenceOutputStream::create(context);
    const Reference<css::io::XOutputStream> output(drawn, UNO_QUERY_THROW);
    if (!exporter->filter(properties(
                {property("OutputStream", Any(output)), property("MediaType", Any(OUString("image/x-svm")))})))
        return {};
    const auto bytes = drawn->getWrittenBytes();
    if (!bytes.hasElements())
        return {};
    const auto input = css::io::SequenceInputStream::createStreamFromSequence(context, bytes);
    const auto provider = css::graphic::GraphicProvider::create(context);
    return provider->queryGraphic(properties({property("InputStream", Any(input))}));
}

} // namespace

void ReplaceChartsByPictures(const Reference<css::uno::XComponentContext> &context,
                             const Reference<css::lang::XComponent> &document)
{
    const auto sheet = FirstSheetOf<css::uno::XInterface>(document);
    const Reference<css::drawing::XDrawPageSupplier> pages(sheet, UNO_QUERY_THROW);
    const Reference<css::drawing::XShapes> shapes(pages->getDrawPage(), UNO_QUERY_THROW);
    const Reference<css::lang::XMultiServiceFactory> factory(document, UNO_QUERY_THROW);
    for (const SheetChart &chart : SheetCharts(sheet)) {
        // Without a picture the chart object stays: printed more slowly, but whole.
        const auto drawn = pictureOf(context, chart.shape);
        if (!drawn.is())
            continue;
        const Reference<css::drawing::XShape> picture(
                factory->createInstance(OUString("com.sun.star.drawing.GraphicObjectShape")), UNO_QUERY_THROW);
        shapes->add(picture);
        picture->setPosition(chart.shape->getPosition());
        picture->setSize(chart.shape->getSize());
        const Reference<css::beans::XPropertySet> from(chart.shape, UNO_QUERY_THROW);
        const Reference<css::beans::XPropertySet> to(picture, UNO_QUERY_THROW);
        to->setPropertyValue(OUString("Graphic"), Any(drawn));
        for (const char *text : {"Title", "Description"}) {
            const OUString name = OUString::createFromAscii(text);
            to->setPropertyValue(name, from->getPropertyValue(name));
        }
        RemoveChart(chart, shapes);
    }
}
