#pragma once

#include "widgets/layer.h"

#include <QMargins>
#include <QSize>

class QWidget;

// A window of a fixed size is drawn for a screen that holds it. Where the
// screen's available area (the screen less panels) cannot hold it with its
// frame, at the current scale, its controls move onto a page of the size it
// was given, in a scroll area as large as the area leaves room for, so that
// every control can still be scrolled to. A window that fits is left as it
// is. Answers whether the window now shows its controls through the scroll
// area.
bool FitToScreen(QWidget *window, const QMargins &frame);

// The size the window was given: its page's when it shows one.
QSize DesignedSize(const QWidget *window);

// The frame the window manager gives the window: its own once it has one,
// else that of another window of the program on screen, else a title bar and
// borders as the style draws them.
QMargins ExpectedFrame(const QWidget *window);

// Moves the window so that its frame lies in the available area, where the
// frame fits it; the title bar first, where it does not.
void KeepFrameOnScreen(QWidget *window, const QMargins &frame);
