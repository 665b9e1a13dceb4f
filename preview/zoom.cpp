#include "preview/zoom.h"

#include "ground/failure.h"

#include <cmath>
#include <limits>

qint32 ToInt32Floor(double value)
{
    const double floored = std::floor(value);
    if (!(floored >= std::numeric_limits<qint32>::min() && floored <= std::numeric_limits<qint32>::max()))
        throw Failure(QStringLiteral("Overflow"));
    return static_cast<qint32>(floored);
}

// Rectangles and sizes are in the layout's units; the picture may hold more
// pixels than that (see setPicture), and the copy holds as many more.
QImage StretchCopy(const QImage &source, const QRect &sourceRect, const QSize &size)
{
    if (size.isEmpty())
        return QImage();
    const qreal ratio = source.devicePixelRatio();
    const QRect sourcePixels =
            QRect(QPoint(qRound(sourceRect.x() * ratio), qRound(sourceRect.y() * ratio)),
                  QSize(qRound(sourceRect.width() * ratio), qRound(sourceRect.height() * ratio)))
                    .intersected(source.rect());
    // The source rectangle is normally the whole picture: no need for a copy of
    // an image that can be thousands of pixels across.
    const QImage part = sourcePixels == source.rect() ? source : source.copy(sourcePixels);
    QImage stretched = part.scaled(QSize(qRound(size.width() * ratio), qRound(size.height() * ratio)),
                                   Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (stretched.isNull())
        throw Failure(QStringLiteral("Out of memory"));
    stretched.setDevicePixelRatio(ratio);
    return stretched;
}

// The first view shows the picture's whole width, so that a chart beside the
// table is seen at once: 1.0 when the picture fits the viewport across;
// otherwise the largest smaller zoom step at which it fits and can be drawn
// within the size limits (a long list is tall), never less than the smallest
// step. Its length may still need the vertical bar.
float FirstViewZoom(qint32 origWidth, qint32 origHeight, int viewportWidth)
{
    const auto zoomed = [](float zoom, qint32 size) { return std::floor(double(zoom) * size); };
    float zoom = 1.0f;
    while (zoom > kMinZoom
           && (zoomed(zoom, origWidth) > viewportWidth
               || (zoom < 1.0f && (zoomed(zoom, origWidth) >= kMaxZoomWidth
                                   || zoomed(zoom, origHeight) >= kMaxZoomHeight))))
        zoom -= kZoomStep;
    return zoom;
}
