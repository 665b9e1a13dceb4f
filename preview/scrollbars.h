#pragma once

#include "preview/layer.h"

#include <Qt>

class QScrollBar;
class QWidget;

// A bar of the preview's viewport: no range until a picture needs it, moving
// the picture when its value changes, and reached by the keyboard.
QScrollBar *MakeViewportScrollBar(Qt::Orientation orientation, QWidget *parent);

// Fits the bar to a picture of that size in a viewport of that size, both
// along the bar: off with unit 0 when the picture fits, else a maximum of the
// overhang in pixels (unit 1) up to 100 pixels, in tens of pixels (unit 10) beyond.
void ResetScrollBar(QScrollBar *bar, int pictureSize, int viewportSize, qint16 &unit);

// Sets the bar to percent per cent of its maximum; a negative percentage or
// one that would pass the maximum changes nothing.
void SetScrollbarByPercent(QScrollBar *bar, qint16 percent);
