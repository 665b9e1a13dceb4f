#pragma once

#include "libreoffice/layer.h"

#include <QSize>

// A band of rows of a sheet's picture, drawn by the engine in one piece.
struct PictureBand {
    int firstRow = 0, lastRow = 0;
    int firstColumn = 0, lastColumn = 0;
    qint64 top = 0, height = 0;   // where its cells are drawn, in pixels from the picture's top
    qint64 left = 0;              // in pixels from the range's left edge
    double factor = 1.0;          // of the full scale, at which the engine draws it
    QSize requested;              // the size of the engine's picture, when drawn reduced

    bool operator==(const PictureBand &) const = default;
};
