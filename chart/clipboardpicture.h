#pragma once

#include "chart/layer.h"

#include <QImage>
#include <QMimeData>

// The sheet's picture as the clipboard holds it. The picture behind it can be
// read, so that the preview shares it rather than holding a long sheet's
// picture, a hundred megabytes, a second time; and swapped while the
// clipboard stays ours.
class ClipboardPicture : public QMimeData
{
    Q_OBJECT

public:
    explicit ClipboardPicture(const QImage &picture) : mPicture(picture) {}

    // While the picture is null, the clipboard offers nothing.
    void setPicture(const QImage &picture) { mPicture = picture; }
    QImage picture() const { return mPicture; }

    QStringList formats() const override;

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType type) const override;

private:
    QImage mPicture;
};
