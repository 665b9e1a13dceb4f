#pragma once

#include <QSize>

#include <cmath>

// The preview window names no zoom factor; a user reads it off the picture,
// whose size at a zoom step is the original's times the step, cut down to
// whole units.
inline QSize ZoomedSize(QSize original, float zoom)
{
    return QSize(int(std::floor(double(zoom) * original.width())),
                 int(std::floor(double(zoom) * original.height())));
}

// The zoom step, 0.25 to 4.0, that shows a picture of the original size at
// the shown size; 0 when none does, or when more than one does (a picture of
// a few pixels).
inline float ZoomShowing(QSize original, QSize shown)
{
    float found = 0.0f;
    for (int quarters = 1; quarters <= 16; ++quarters) {
        if (ZoomedSize(original, quarters / 4.0f) != shown)
            continue;
        if (found != 0.0f)
            return 0.0f;
        found = quarters / 4.0f;
    }
    return found;
}
