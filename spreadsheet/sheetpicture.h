#pragma once

#include "spreadsheet/layer.h"

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

#include <algorithm>

// The picture of a sheet is drawn by the engine, whose drawing surfaces end at
// 32,767 pixels on a side, and it is held several times over on its way to the
// preview (the engine's file, the clipboard, the picture file, the preview's
// copies). A longer sheet is drawn at a reduced scale that keeps it within
// both of these limits.
constexpr int kMaxSheetPictureSide = 32767;
constexpr qint64 kMaxSheetPicturePixels = qint64(64) * 1024 * 1024;   // 256 MB at 4 bytes a pixel

// A range drawn in bands of rows may be taller than one drawing surface. A
// list so long that fitting it into one surface's height would leave its
// picture fewer pixels than this gets a taller picture of this many pixels:
// its table and chart stay a useful size, and the engine draws it in about
// two seconds. The height stays within what the preview's scroll bars reach
// (10 pixels a step, 32,767 steps).
constexpr qint64 kMinLongSheetPicturePixels = qint64(24) * 1000 * 1000;
constexpr int kMaxSheetPictureHeight = 300000;

// The scale, at most 1, at which a picture of the given full size stays within
// the limits.
double SheetPictureScale(const QSize &fullSize);

// Reads a picture file of a sheet in whatever format it holds. Pictures up to
// the largest the limits allow are read, past the reader's usual allocation
// limit. Throws a Failure naming the reader's complaint.
QImage ReadSheetPicture(const QString &path);
// The same for a picture held in memory; what names it in a complaint.
QImage ReadSheetPicture(const QByteArray &bytes, const QString &what);

// The first index from `from` up to `last` at which a test holds that fails
// below some index and holds from it on; `last` when it holds nowhere before.
// Finding the row or column where a chart ends takes a few round trips to the
// engine a test: far fewer tests are made than by trying index after index,
// and two when the guess is right.
template <typename Test>
qint64 FirstIndexWhere(qint64 from, qint64 last, qint64 guess, Test &&holds)
{
    if (from >= last)
        return from;
    guess = std::clamp(guess, from, last);
    qint64 failing = from - 1;   // below the first index that holds
    qint64 holding = last;       // the first index that holds, or last
    if (guess < last) {
        if (holds(guess)) {
            holding = guess;
            if (guess == from || !holds(guess - 1))
                return guess;
            holding = guess - 1;
        } else {
            failing = guess;
        }
    }
    // Outwards from what is known, by doubling steps, then halving.
    for (qint64 step = 1; holding == last && failing + step < last; step *= 2) {
        if (holds(failing + step))
            holding = failing + step;
        else
            failing += step;
    }
    while (holding - failing > 1) {
        const qint64 middle = failing + (holding - failing) / 2;
        if (holds(middle))
            holding = middle;
        else
            failing = middle;
    }
    return holding;
}
