#pragma once

#include "preview/layer.h"

#include <Qt>

class QScrollBar;
class QWidget;

// A bar of the preview's viewport: no range until a picture needs it, moving
// the picture when its value changes, and reached by the keyboard.
QScrollBar *MakeViewportScrollBar(Qt::Orientation orientation, QWidget *parent);

// Sets the bar to percent per cent of its maximum; a negative percentage or
// one that would pass the maximum changes nothing.
void SetScrollbarByPercent(QScrollBar *bar, qint16 percent);
