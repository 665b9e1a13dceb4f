#include "libreoffice/picture/usedrangepicture.h"

#include "libreoffice/picture/banddrawer.h"
#include "libreoffice/picture/pictureassembly.h"
#include "libreoffice/picture/usedrangemeasure.h"

// Bands of rows are laid out on the engine's side first, then drawn and put
// together here.
QImage UsedRangePicture(EngineProcess &engine, const Reference<css::frame::XModel> &model,
                        const Reference<css::sheet::XSpreadsheet> &sheet)
{
    QRect full;
    QSize chartMargin;
    double scale = 1.0;
    QList<PictureBand> bands;
    engineCall(engine, QStringLiteral("take a picture of the used range"), [&] {
        const UsedRangeMeasure measured(sheet);
        full = measured.full();
        chartMargin = measured.chartMargin();
        scale = measured.planInput().scale;
        bands = PlanBands(measured.planInput(), measured.rowHeights());
    });
    PictureAssembly picture(full, scale);
    BandDrawer drawer(engine, model, sheet);
    for (const PictureBand &band : std::as_const(bands))
        picture.place(band, drawer.draw(band));
    return picture.finished(chartMargin);
}
