#include "spreadsheet/sheetpicture.h"

#include "ground/failure.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>
#include <cmath>
#include <mutex>

double SheetPictureScale(const QSize &fullSize)
{
    if (fullSize.isEmpty())
        return 1.0;
    const double width = fullSize.width(), height = fullSize.height();
    const double area = width * height;
    const double byHeight = std::max(kMaxSheetPictureSide / height,
                                     std::min(std::sqrt(kMinLongSheetPicturePixels / area),
                                              kMaxSheetPictureHeight / height));
    return std::min({1.0, kMaxSheetPictureSide / width, byHeight, std::sqrt(kMaxSheetPicturePixels / area)});
}

namespace {

QImage readPicture(QImageReader &reader, const QString &what)
{
    // In megabytes: the largest picture at 4 bytes a pixel, and room for the
    // reader's own buffers.
    constexpr int kLimitMegabytes = int(kMaxSheetPicturePixels * 4 / (1024 * 1024)) + 16;
    // The limit is the whole program's, and bands of a picture are read on
    // two threads at once.
    static std::mutex limitMutex;
    const std::lock_guard lock(limitMutex);
    const int usualLimit = QImageReader::allocationLimit();
    QImageReader::setAllocationLimit(std::max(usualLimit, kLimitMegabytes));
    reader.setDecideFormatFromContent(true);
    QImage picture = reader.read();
    const QString complaint = reader.errorString();
    QImageReader::setAllocationLimit(usualLimit);
    if (picture.isNull())
        throw Failure(QStringLiteral("Cannot load the picture %1: %2").arg(what, complaint));
    return picture;
}

} // namespace

QImage ReadSheetPicture(const QString &path)
{
    QImageReader reader(path);
    return readPicture(reader, path);
}

QImage ReadSheetPicture(const QByteArray &bytes, const QString &what)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return readPicture(reader, what);
}
