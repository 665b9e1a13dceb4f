#pragma once

#include "libreoffice/layer.h"

#include <QtGlobal>

// The heights of a sheet's rows [from, to): as the engine draws them, and as
// the sheet gives them. A long list's rows are asked for a band at a time,
// not row by row.
class RowHeights
{
public:
    virtual ~RowHeights() = default;
    // In whole pixels at full size.
    virtual qint64 drawnPixels(int from, int to) const = 0;
    // In 1/100 mm.
    virtual qint64 sheetHmm(int from, int to) const = 0;
};
