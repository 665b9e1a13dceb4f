#include "chart/clipboardpicture.h"

#include <QStringList>
#include <QVariant>

namespace {
// Where QMimeData keeps an image; the platform's clipboard offers it as PNG,
// BMP and the other picture types from there.
const QString kImageFormat = QStringLiteral("application/x-qt-image");
}

QStringList ClipboardPicture::formats() const
{
    return mPicture.isNull() ? QStringList() : QStringList{kImageFormat};
}

QVariant ClipboardPicture::retrieveData(const QString &mimeType, QMetaType type) const
{
    if (mimeType == kImageFormat && !mPicture.isNull())
        return mPicture;
    return QMimeData::retrieveData(mimeType, type);
}
