#pragma once

#include "libreoffice/layer.h"

// Internal to the adapter, as unocall.h is.

#include "libreoffice/picture/pictureband.h"
#include "libreoffice/unocall.h"

#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>

#include <QImage>

// Has the engine draw the bands of a sheet's picture: straight onto a drawing
// surface of its own, or through its PNG export, which also draws a range
// reduced.
class BandDrawer
{
public:
    BandDrawer(EngineProcess &engine, const css::uno::Reference<css::frame::XModel> &model,
               const css::uno::Reference<css::sheet::XSpreadsheet> &sheet);

    // At full size, or at the band's factor. Throws SpreadsheetError,
    // InstanceLostError when the instance is gone.
    QImage draw(const PictureBand &band);

private:
    QImage exportBand(const PictureBand &band);
    css::uno::Reference<css::table::XCellRange> range(const PictureBand &band) const;

    EngineProcess &mEngine;
    css::uno::Reference<css::frame::XModel> mModel;
    css::uno::Reference<css::sheet::XSpreadsheet> mSheet;
    QString mAction = QStringLiteral("take a picture of the used range");
};
