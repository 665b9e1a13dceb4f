#include "libreoffice/picture/pictureassembly.h"

#include "spreadsheet/spreadsheetserver.h"

#include <algorithm>
#include <cmath>

PictureAssembly::PictureAssembly(const QRect &full, double scale)
    : mFull(full),
      mScale(scale),
      mPicture(std::max(1, int(std::floor(full.width() * scale))), std::max(1, int(std::floor(full.height() * scale))),
               QImage::Format_RGB32)
{
    if (mPicture.isNull())
        throw SpreadsheetError(QStringLiteral("There is not enough memory for the picture of the used range."));
    mPicture.fill(Qt::white);
    mPainter.begin(&mPicture);
    mPainter.setRenderHint(QPainter::SmoothPixmapTransform);
}

void PictureAssembly::place(const PictureBand &band, const QImage &drawn)
{
    // This band's part of the picture, in the band's pixels at full scale.
    const qint64 partLeft = std::max<qint64>(mFull.left(), band.left);
    const QRect part = QRect(int(partLeft - band.left), int(std::max<qint64>(mFull.top(), band.top) - band.top),
                             int(mFull.right() + 1 - partLeft),
                             int(std::min<qint64>(mFull.bottom() + 1, band.top + band.height)
                                 - std::max<qint64>(mFull.top(), band.top)));
    if (part.isEmpty())
        return;
    const qint64 partTop = band.top + part.top() - mFull.top();
    const int targetLeft = int(std::floor((partLeft - mFull.left()) * mScale));
    const int targetTop = int(std::floor(partTop * mScale));
    const int targetBottom = int(std::floor((partTop + part.height()) * mScale));
    // Bands come from the top down.
    mRowsPlaced = std::max(mRowsPlaced, std::min(targetBottom, mPicture.height()));
    if (band.factor == mScale) {
        // Drawn at the picture's scale: the pixels as the engine drew them.
        const QRect source = QRect(int(std::lround(part.x() * mScale)), int(std::lround(part.y() * mScale)),
                                   int(std::floor(part.width() * mScale)), targetBottom - targetTop)
                                     .intersected(drawn.rect());
        mPainter.drawImage(QPoint(targetLeft, targetTop), drawn, source);
    } else {
        const QRect source = part.intersected(drawn.rect());
        const int sourceBottom = int(std::floor((partTop + source.height()) * mScale));
        mPainter.drawImage(QRect(targetLeft, targetTop, int(std::floor(source.width() * mScale)),
                                 sourceBottom - targetTop),
                           drawn, source);
    }
}

namespace {

bool blank(QRgb pixel)
{
    return qRed(pixel) > 245 && qGreen(pixel) > 245 && qBlue(pixel) > 245;
}

} // namespace

QImage PictureAssembly::finished(QSize margin)
{
    mPainter.end();
    const int maxRight = std::min(mPicture.width() - 1, int(std::floor(margin.width() * mScale)));
    const int maxBottom = std::min(mPicture.height() - 1, int(std::floor(margin.height() * mScale)));
    int right = 0;
    for (; right < maxRight; ++right) {
        const int x = mPicture.width() - 1 - right;
        bool empty = true;
        for (int y = 0; y < mPicture.height() && empty; ++y)
            empty = blank(mPicture.pixel(x, y));
        if (!empty)
            break;
    }
    int bottom = 0;
    for (; bottom < maxBottom; ++bottom) {
        const QRgb *line = reinterpret_cast<const QRgb *>(mPicture.constScanLine(mPicture.height() - 1 - bottom));
        if (!std::all_of(line, line + mPicture.width(), blank))
            break;
    }
    if (right == 0 && bottom == 0)
        return mPicture;
    return mPicture.copy(0, 0, mPicture.width() - right, mPicture.height() - bottom);
}
