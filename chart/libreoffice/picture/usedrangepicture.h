#pragma once

#include "chart/libreoffice/layer.h"

// Internal to the adapter, as unocall.h is.

#include "chart/libreoffice/unocall.h"

#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>

#include <QImage>

#include <functional>
#include <memory>

class EngineSpares;

// How a sheet's picture may be drawn.
struct UsedRangePictureOptions {
    // Off, every band goes through the engine's picture export, as a band the
    // engine refuses to draw directly does.
    bool drawDirectly = true;
    // The workbook's file as last saved, for a second instance to open; empty
    // when the workbook has none or differs from it. Asked only of a long sheet.
    std::function<OUString()> savedUrl;
    // Starts, without waiting for it, an instance that draws part of a long
    // sheet's picture beside the sheet's own; unset when none may.
    std::function<std::unique_ptr<EngineProcess>()> startSecondInstance;
    // Ends that instance in the background when set.
    std::shared_ptr<EngineSpares> collector;
};

// The picture of the sheet's used range and of the charts on it, cropped to
// them, so that its last row and the chart's right edge are its edges. A range
// too long for the engine to draw in one piece is drawn in bands of rows that
// are put together here, and the whole is made smaller when it would pass the
// size limits of a sheet's picture: by the engine itself when it is made much
// smaller, as a long list's is. Throws SpreadsheetError, InstanceLostError
// when the instance is gone.
QImage UsedRangePicture(EngineProcess &engine, const css::uno::Reference<css::frame::XModel> &model,
                        const css::uno::Reference<css::sheet::XSpreadsheet> &sheet,
                        const UsedRangePictureOptions &options);
