#include "libreoffice/picture/banddrawer.h"

#include "libreoffice/picture/exportedbands.h"
#include "spreadsheet/sheetpicture.h"

#include <com/sun/star/awt/Point.hpp>
#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/awt/Toolkit.hpp>
#include <com/sun/star/awt/XBitmap.hpp>
#include <com/sun/star/awt/XDevice.hpp>
#include <com/sun/star/awt/XGraphics.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/view/XRenderable.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>

#include <QFile>

#include <cmath>

namespace {

// A length on the sheet in whole pixels, rounded as the engine rounds it.
int pixelsOf(sal_Int32 hmm)
{
    return int((2 * qint64(hmm) * 96 / 2540 + 1) / 2);
}

// Draws a range at full size straight onto a drawing surface of the engine's
// and takes its pixels, or those of the drawing reduced to the size given. It
// is the drawing that the engine's PNG export makes, without the export's
// second drawing of it with transparency and its compression, which cost
// several times the drawing itself. A null picture when the surface does not
// come back at the size of the range, for the caller to draw it another way.
QImage drawAtFullSize(const Reference<css::uno::XComponentContext> &context,
                      const Reference<css::frame::XModel> &model,
                      const Reference<css::table::XCellRange> &range, QSize reducedTo = {})
{
    const Reference<css::awt::XToolkit2> toolkit = css::awt::Toolkit::create(context);
    const Reference<css::view::XRenderable> renderable(model, UNO_QUERY_THROW);
    const Any selection(range);
    const auto onto = [&](const Reference<css::awt::XDevice> &device) {
        return properties({property("IsPrinter", Any(true)), property("RenderDevice", Any(device)),
                           property("View", Any(model->getCurrentController())),
                           property("RenderToGraphic", Any(true))});
    };
    const auto measuring = onto(toolkit->createScreenCompatibleDevice(32, 32));
    if (renderable->getRendererCount(selection, measuring) < 1)
        return {};
    css::awt::Size page;
    css::awt::Point corner;
    for (const auto &value : renderable->getRenderer(0, selection, measuring)) {
        if (value.Name == "PageSize")
            value.Value >>= page;
        else if (value.Name == "CalcPagePos")
            value.Value >>= corner;
    }
    const QSize size(pixelsOf(page.Width), pixelsOf(page.Height));
    if (size.isEmpty())
        return {};
    const auto device = toolkit->createScreenCompatibleDevice(size.width(), size.height());
    renderable->render(0, selection, onto(device));
    // The drawing leaves the surface measuring in 1/100 mm from the corner of
    // the sheet, with the range's top left corner at the surface's.
    const auto toHmm = [](int pixels) { return sal_Int32(std::lround(pixels * 2540.0 / 96)); };
    Sequence<sal_Int8> bitmap;
    if (reducedTo.isValid()) {
        const auto reduced = toolkit->createScreenCompatibleDevice(reducedTo.width(), reducedTo.height());
        reduced->createGraphics()->copy(device, corner.X, corner.Y, toHmm(size.width()), toHmm(size.height()), 0, 0,
                                        reducedTo.width(), reducedTo.height());
        bitmap = reduced->createBitmap(0, 0, reducedTo.width(), reducedTo.height())->getDIB();
    } else {
        bitmap = device->createBitmap(corner.X, corner.Y, toHmm(size.width()), toHmm(size.height()))->getDIB();
    }
    try {
        QImage drawn = ReadSheetPicture(
                QByteArray::fromRawData(reinterpret_cast<const char *>(bitmap.getConstArray()), bitmap.getLength()),
                QStringLiteral("drawn by LibreOffice"));
        if (drawn.size() == (reducedTo.isValid() ? reducedTo : size))
            return drawn;
    } catch (const Failure &) {
    }
    return {};
}

} // namespace

BandDrawer::BandDrawer(EngineProcess &engine, const Reference<css::frame::XModel> &model,
                       const Reference<css::sheet::XSpreadsheet> &sheet)
    : mEngine(engine), mModel(model), mSheet(sheet)
{
}

Reference<css::table::XCellRange> BandDrawer::range(const PictureBand &band) const
{
    return mSheet->getCellRangeByPosition(band.firstColumn, band.firstRow, band.lastColumn, band.lastRow);
}

QImage BandDrawer::draw(const PictureBand &band)
{
    QImage drawn;
    if (!ExportedBands::active()) {
        // Refused by the engine, the band is exported instead; an instance
        // that is gone ends the picture.
        try {
            drawn = engineCall(mEngine, mAction, [&] {
                return drawAtFullSize(mEngine.connection().context, mModel, range(band),
                                      band.factor == 1.0 ? QSize() : band.requested);
            });
        } catch (const InstanceLostError &) {
            throw;
        } catch (const SpreadsheetError &) {
        }
    }
    if (drawn.isNull())
        drawn = exportBand(band);
    return drawn;
}

QImage BandDrawer::exportBand(const PictureBand &band)
{
    static int pictures = 0;
    const QString bandPath = mEngine.scratchFolder() + QStringLiteral("/picture-%1.png").arg(++pictures);
    // The file is read back at once: hardly packed, it is quicker to write.
    QList<css::beans::PropertyValue> filterData{property("Compression", Any(sal_Int32(1)))};
    if (band.factor != 1.0) {
        // The engine draws the cells as at full size, scaled by the size
        // asked for over the range's size on the sheet.
        filterData.append(property("PixelWidth", Any(sal_Int32(band.requested.width()))));
        filterData.append(property("PixelHeight", Any(sal_Int32(band.requested.height()))));
    }
    engineCall(mEngine, mAction, [&] {
        const Reference<css::view::XSelectionSupplier> selection(mModel->getCurrentController(), UNO_QUERY_THROW);
        selection->select(Any(range(band)));
        const Reference<css::frame::XStorable> storable(mModel, UNO_QUERY_THROW);
        storable->storeToURL(
                fileUrl(bandPath),
                properties({property("FilterName", Any(OUString("calc_png_Export"))),
                            property("SelectionOnly", Any(true)),
                            property("FilterData", Any(Sequence<css::beans::PropertyValue>(
                                                           filterData.data(), sal_Int32(filterData.size()))))}));
    });
    QImage drawn;
    try {
        drawn = ReadSheetPicture(bandPath);
    } catch (const std::exception &) {
        QFile::remove(bandPath);
        throw SpreadsheetError(QStringLiteral("LibreOffice wrote no readable picture of the used range."));
    }
    QFile::remove(bandPath);
    return drawn;
}
