#pragma once

#include "libreoffice/layer.h"

#include "libreoffice/picture/pictureband.h"

#include <QImage>
#include <QPainter>
#include <QRect>

// A sheet's picture put together from its bands as they are drawn, cropped to
// what it shows and made smaller by its scale.
class PictureAssembly
{
public:
    // full: what the picture shows, in whole pixels at full size from the
    // corner of the range drawn. Throws SpreadsheetError when there is not
    // enough memory for the picture.
    PictureAssembly(const QRect &full, double scale);

    // drawn: the band's picture, at full size or at its factor.
    void place(const PictureBand &band, const QImage &drawn);
    // The size of the picture being put together, before finished() crops it.
    QSize size() const { return mPicture.size(); }
    // How many of its rows, from the top, the bands placed so far have drawn,
    // and a copy of them.
    int rowsPlaced() const { return mRowsPlaced; }
    QImage top() const { return mPicture.copy(0, 0, mPicture.width(), mRowsPlaced); }
    // The picture, once every band is placed, without the blank columns and
    // rows of a margin as wide and high as `margin` (in pixels at full size)
    // along its right and bottom edges.
    QImage finished(QSize margin = {});

private:
    QRect mFull;
    double mScale;
    QImage mPicture;
    QPainter mPainter;
    int mRowsPlaced = 0;
};
