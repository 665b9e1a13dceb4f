#include "preview/frame.h"

#include <QPainter>
#include <QStyleOptionGroupBox>
#include <QStylePainter>

Frame::Frame(const QString &caption, QWidget *parent)
    : QGroupBox(caption, parent)
{
}

namespace {
constexpr int kCaptionIndent = 8;
}

void Frame::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    if (autoFillBackground())
        painter.fillRect(rect(), palette().color(backgroundRole()));

    QRect outline = style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxFrame, this);
    const QRect label = style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, this)
                                .translated(kCaptionIndent, 0);
    // The outline runs through the middle of the caption, with a gap for it.
    outline.setTop(label.center().y());
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(palette().color(QPalette::Window).darker(140));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(outline).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
    painter.fillRect(label.adjusted(-2, 0, 2, 0), palette().color(QPalette::Window));
    style()->drawItemText(&painter, label, Qt::AlignLeft | Qt::AlignVCenter, palette(), isEnabled(), title(),
                          QPalette::WindowText);
}
