#pragma once

#include "libreoffice/layer.h"

// Internal to the adapter, as unocall.h is.

#include "libreoffice/unocall.h"

#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>

#include "spreadsheet/spreadsheetserver.h"

#include <QImage>

// What becomes of the sheet's drawings while its picture is drawn: kept, or
// removed once the bands have passed below them all, for a sheet that is not
// used again. The picture is the same either way.
enum class DrawingsAfterPicture { Kept, Dropped };

// The picture of the sheet's used range and of the charts on it, cropped to
// them, so that its last row and the chart's right edge are its edges. A range
// too long for the engine to draw in one piece is drawn in bands of rows that
// are put together here, and the whole is made smaller when it would pass the
// size limits of a sheet's picture: by the engine itself when it is made much
// smaller, as a long list's is. A picture of more than two bands is given to
// the first view's show once its top is drawn, while the rest is drawn.
// Throws SpreadsheetError, InstanceLostError when the instance is gone.
QImage UsedRangePicture(EngineProcess &engine, const css::uno::Reference<css::frame::XModel> &model,
                        const css::uno::Reference<css::sheet::XSpreadsheet> &sheet,
                        DrawingsAfterPicture drawings = DrawingsAfterPicture::Kept,
                        const PictureFirstView &firstView = {});
