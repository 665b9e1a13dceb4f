#include "preview/picturebox.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace {

// An image's size in the layout's units: its pixels over its device pixel
// ratio, a last part pixel left out.
QSize layoutSize(const QImage &image)
{
    const qreal ratio = image.devicePixelRatio();
    return QSize(int(image.width() / ratio), int(image.height() / ratio));
}

} // namespace

PictureBox::PictureBox(int borderWidth, QWidget *parent)
    : QWidget(parent), mBorderWidth(borderWidth)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::setPicture(const QImage &picture)
{
    mPicture = picture;
    mDrawing = picture;
    if (mAutoSize && !picture.isNull()) {
        const QSize size = layoutSize(picture);
        setOuterSize(size.width() + 2 * mBorderWidth, size.height() + 2 * mBorderWidth);
    }
    update();
}

void PictureBox::clearPicture()
{
    mPicture = QImage();
    mDrawing = QImage();
    update();
}

void PictureBox::setDrawing(const QImage &drawing)
{
    mDrawing = drawing;
    update();
}

void PictureBox::setOuterSize(int width, int height)
{
    resize(qMax(width, 0), qMax(height, 0));
}

QSize PictureBox::clientSize() const
{
    return QSize(qMax(width() - 2 * mBorderWidth, 0), qMax(height() - 2 * mBorderWidth, 0));
}

void PictureBox::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const QRect client(QPoint(mBorderWidth, mBorderWidth), clientSize());
    painter.fillRect(event->rect(), Qt::white);
    if (mBorderWidth > 0) {
        painter.setPen(QPen(Qt::darkGray, mBorderWidth));
        painter.setBrush(Qt::NoBrush);
        const qreal half = mBorderWidth / 2.0;
        painter.drawRect(QRectF(rect()).adjusted(half, half, -half, -half));
    }
    if (mDrawing.isNull())
        return;
    // Only the exposed part: a zoomed picture can be thousands of pixels across.
    const QRect exposed = event->rect() & client
            & QRect(client.topLeft(), layoutSize(mDrawing));
    if (exposed.isEmpty())
        return;
    // The drawing may hold more pixels than the layout's units (its device
    // pixel ratio); the source rectangle counts the drawing's own pixels.
    const qreal ratio = mDrawing.devicePixelRatio();
    const QRectF source = QRectF(exposed.translated(-client.topLeft()));
    painter.drawImage(QRectF(exposed), mDrawing,
                      QRectF(source.topLeft() * ratio, source.size() * ratio));
}

QPointF PictureBox::clientPosition(const QMouseEvent *event) const
{
    return event->position() - QPointF(mBorderWidth, mBorderWidth);
}

void PictureBox::mousePressEvent(QMouseEvent *event)
{
    const QPointF at = clientPosition(event);
    emit mousePressed(event->buttons(), float(at.x()), float(at.y()));
    event->accept();
}

void PictureBox::mouseMoveEvent(QMouseEvent *event)
{
    const QPointF at = clientPosition(event);
    emit mouseMoved(event->buttons(), float(at.x()), float(at.y()));
    event->accept();
}

void PictureBox::mouseReleaseEvent(QMouseEvent *event)
{
    const QPointF at = clientPosition(event);
    emit mouseReleased(event->buttons(), float(at.x()), float(at.y()));
    event->accept();
}
