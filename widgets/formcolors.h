#pragma once

#include "widgets/layer.h"

#include <QColor>

class QWidget;

// The system's colour for button faces; follows the user's colour scheme.
QColor ButtonFaceColor();

// Gives the window, and its frames and labels, the button-face colour.
// Picture boxes and all other controls keep their colours.
void SetFormColors(QWidget *window);

// Paints the widget's background in one colour.
void SetBackColor(QWidget *widget, const QColor &color);
