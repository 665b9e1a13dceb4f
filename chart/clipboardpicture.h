#pragma once

#include "chart/layer.h"

#include <QImage>
#include <QMimeData>

// The sheet's picture as the clipboard holds it. The picture behind it can be
// swapped while the clipboard stays ours: a run lets go of the picture as
// drawn while it reads the same picture back for the preview, and then gives
// the clipboard the preview's copy. A long sheet's picture, a hundred
// megabytes, is so held once at any moment rather than twice.
class ClipboardPicture : public QMimeData
{
    Q_OBJECT

public:
    explicit ClipboardPicture(const QImage &picture) : mPicture(picture) {}

    // While the picture is null, the clipboard offers nothing.
    void setPicture(const QImage &picture) { mPicture = picture; }

    QStringList formats() const override;

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType type) const override;

private:
    QImage mPicture;
};
