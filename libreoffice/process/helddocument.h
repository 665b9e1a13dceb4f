#pragma once

#include "libreoffice/layer.h"

// Internal to the adapter, as unocall.h is.

#include "libreoffice/unocall.h"

#include <com/sun/star/lang/XComponent.hpp>

#include <QByteArray>
#include <QList>
#include <QRect>

// Where a chart of a document lies (in 1/100 mm on its sheet) as the document
// is open, and where it lies once the document is saved as an .xls workbook
// and opened again: the workbook keeps a chart's place in cells and parts of
// cells, and the engine's rounding moves it by a fraction of a pixel.
struct ReopenedChartPlace {
    QRect open;
    QRect reopened;

    bool operator==(const ReopenedChartPlace &) const = default;
};

// A document an instance opened ahead of need (a warm spare, the chart
// template) or kept after saving it (the workbook a chart command draws
// next), and left untouched since: the instance's first open() of a file
// with the same bytes takes it instead of loading the file again.
struct HeldDocument {
    QByteArray sourceBytes;
    Reference<css::lang::XComponent> document;
    // The charts of its first sheet, in their order there, when the instance
    // measured them; empty otherwise.
    QList<ReopenedChartPlace> chartPlaces;
};
