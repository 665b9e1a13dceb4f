#pragma once

#include "preview/layer.h"

#include <QImage>
#include <QRect>
#include <QSize>

// The preview's zoom: its steps and limits, and the pictures drawn at it.

// Zoomed pictures stay below these sizes; the limits differ across and down.
inline constexpr qint32 kMaxZoomWidth = 4000;
inline constexpr qint32 kMaxZoomHeight = 9000;
inline constexpr float kZoomStep = 0.25f;
inline constexpr float kMinZoom = 0.25f;
inline constexpr float kMaxZoom = 4.0f;
// Up to this many pixels of overhang a bar moves the picture pixel by pixel;
// beyond it, in steps of ten pixels.
inline constexpr float kFineOverhang = 100.0f;

// The whole part of value as a 32-bit integer; throws a Failure ("Overflow")
// when it does not fit.
qint32 ToInt32Floor(double value);

// The part sourceRect of source stretched to size. Rectangles and sizes are in
// the layout's units; the picture may hold more pixels than that, and the copy
// holds as many more. Throws a Failure when the copy cannot be made.
QImage StretchCopy(const QImage &source, const QRect &sourceRect, const QSize &size);

// The zoom of the first view of a picture of that size in a viewport that wide.
float FirstViewZoom(qint32 origWidth, qint32 origHeight, int viewportWidth);
