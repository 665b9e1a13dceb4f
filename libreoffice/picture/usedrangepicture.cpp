#include "libreoffice/picture/usedrangepicture.h"

#include "libreoffice/picture/banddrawer.h"
#include "libreoffice/picture/pictureassembly.h"
#include "libreoffice/picture/sheetdrawings.h"
#include "libreoffice/picture/usedrangemeasure.h"

#include <algorithm>
#include <optional>

namespace {

// The drawings are no part of the bands still to come: a drawing that cannot
// be removed costs time, not the picture.
void dropDrawings(EngineProcess &engine, const Reference<css::frame::XModel> &model, SheetDrawings &drawings)
{
    try {
        engineCall(engine, QStringLiteral("remove the sheet's drawings"), [&] { drawings.remove(model); });
    } catch (const InstanceLostError &) {
        throw;
    } catch (const SpreadsheetError &) {
    }
}

} // namespace

// Bands of rows are laid out on the engine's side first, then drawn and put
// together here.
QImage UsedRangePicture(EngineProcess &engine, const Reference<css::frame::XModel> &model,
                        const Reference<css::sheet::XSpreadsheet> &sheet, DrawingsAfterPicture drawings,
                        const PictureFirstView &firstView)
{
    QRect full;
    QSize chartMargin;
    double scale = 1.0;
    QList<PictureBand> bands;
    std::optional<SheetDrawings> droppable;
    engineCall(engine, QStringLiteral("take a picture of the used range"), [&] {
        const UsedRangeMeasure measured(sheet);
        full = measured.full();
        chartMargin = measured.chartMargin();
        scale = measured.planInput().scale;
        bands = PlanBands(measured.planInput(), measured.rowHeights());
        if (drawings == DrawingsAfterPicture::Dropped && bands.size() > 1)
            droppable.emplace(sheet);
    });
    PictureAssembly picture(full, scale);
    BandDrawer drawer(engine, model, sheet);
    // A picture of one or two bands is drawn in about the time its top would be.
    bool firstViewDue = firstView.show && bands.size() > 2;
    for (const PictureBand &band : std::as_const(bands)) {
        if (droppable && droppable->firstRowBelow() >= 0 && band.firstRow >= droppable->firstRowBelow())
            dropDrawings(engine, model, *droppable);
        picture.place(band, drawer.draw(band));
        if (firstViewDue && picture.rowsPlaced() >= std::min(firstView.rows, picture.size().height())) {
            firstViewDue = false;
            firstView.show(picture.top(), picture.size());
        }
    }
    return picture.finished(chartMargin);
}
