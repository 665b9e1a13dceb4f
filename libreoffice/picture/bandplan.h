#pragma once

#include "libreoffice/layer.h"

#include "libreoffice/picture/pictureband.h"
#include "libreoffice/picture/rowheights.h"

#include <QList>

// Sizes on a sheet are in 1/100 mm; its picture is drawn at 96 pixels an inch.
constexpr double kPixelsPerHmm = 96.0 / 2540.0;

// What the bands of a sheet's picture are planned from, as measured on the
// sheet: the range drawn, reaching from the used range to the farthest chart.
struct BandPlanInput {
    struct Column {
        qint64 left = 0;    // in 1/100 mm from the sheet's corner
        qint64 width = 0;   // in 1/100 mm
        qint64 drawn = 0;   // in whole pixels, as the engine draws it
    };

    int firstRow = 0, lastRow = 0;
    int firstColumn = 0;
    QList<Column> columns;   // from firstColumn on, to the last column drawn
    int usedFirstColumn = 0, usedLastColumn = 0;
    bool hasCharts = false;
    int chartsLastRow = 0;     // the last row a chart reaches into
    int usedRowHeight = 0;     // the used range's first row's, in 1/100 mm
    double scale = 1.0;        // of the picture, of its full size
    qint64 shownBottom = 0;    // the lowest pixel the picture shows, past the last

    int lastColumn() const { return firstColumn + int(columns.size()) - 1; }
    // Columns [from, to) as the engine draws them, in pixels.
    qint64 drawnWidth(int from, int to) const;
    // Columns [from, to] as the sheet gives them, in 1/100 mm.
    qint64 hmmWidth(int from, int to) const;
};

// The engine stops drawing a range about 19,400 pixels (at full size) below
// its top, at full size or reduced, and leaves the rest of its picture white.
constexpr double kMaxBandPixels = 17500;
// A band drawn at full size comes over uncompressed: shorter bands keep what
// is held of it at once to some tens of megabytes, for a few milliseconds a band.
constexpr double kMaxFullSizeBandPixels = 4000;

// Up to this scale, where text is still read, bands are drawn at full size and
// reduced here. Below it each band is reduced by the engine before its pixels
// come over, a small part of them: drawn at full size and reduced on the
// engine's surface where it can, otherwise by its picture export, which lays
// text out anew at the smaller size (an amount that just fits its column may
// come out as "###").
constexpr double kMaxEngineReducedScale = 0.5;

// The bands of rows that the engine draws in one piece each, from the top of
// the range down, its sizes as the sheet gives them staying well inside what
// it draws.
QList<PictureBand> PlanBands(const BandPlanInput &sheet, const RowHeights &rows);
