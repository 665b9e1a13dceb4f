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
