#include "preview/frame.h"

#include <QPainter>
#include <QStyleOptionGroupBox>
#include <QStylePainter>

Frame::Frame(const QString &caption, QWidget *parent)
    : QGroupBox(caption, parent)
{
}

void Frame::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    if (autoFillBackground())
        painter.fillRect(rect(), palette().color(backgroundRole()));

    const QRect outline = style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxFrame, this);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(palette().color(QPalette::Window).darker(140));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(outline).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
    painter.restore();

    option.subControls = QStyle::SC_GroupBoxLabel;
    painter.drawComplexControl(QStyle::CC_GroupBox, option);
}
