#pragma once

#include "preview/layer.h"

#include <QImage>
#include <QWidget>

// A picture box: a white widget that keeps what is drawn on it in a persistent
// image and paints that image at the top left of its client area (the area
// inside its border). Positions it reports are relative to the client area.
class PictureBox : public QWidget
{
    Q_OBJECT

public:
    explicit PictureBox(int borderWidth, QWidget *parent = nullptr);

    // An auto-sizing box takes the outer size of each picture assigned to it.
    void setAutoSize(bool autoSize) { mAutoSize = autoSize; }

    // The picture assigned to the box; it also becomes what the box shows.
    void setPicture(const QImage &picture);
    QImage picture() const { return mPicture; }
    // Removes the picture and everything drawn.
    void clearPicture();

    // Replaces what the box shows, leaving the assigned picture as it is.
    void setDrawing(const QImage &drawing);
    QImage drawing() const { return mDrawing; }

    void setOuterSize(int width, int height);
    QSize clientSize() const;
    int borderWidth() const { return mBorderWidth; }

signals:
    // buttons is 0 when no button is held; x and y are client coordinates.
    void mousePressed(Qt::MouseButtons buttons, float x, float y);
    void mouseMoved(Qt::MouseButtons buttons, float x, float y);
    void mouseReleased(Qt::MouseButtons buttons, float x, float y);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QPointF clientPosition(const QMouseEvent *event) const;

    int mBorderWidth;
    bool mAutoSize = false;
    QImage mPicture;
    QImage mDrawing;
};
