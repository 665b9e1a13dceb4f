#include "shell/pushbutton.h"

#include <QFont>

PushButton::PushButton(const QString &caption, QWidget *parent)
    : QPushButton(caption, parent)
{
    setMouseTracking(true);
    QFont face(QStringLiteral("Arial"));
    face.setPointSizeF(11.25);
    face.setWeight(QFont::Bold);
    setFont(face);
}

void PushButton::mouseMoveEvent(QMouseEvent *event)
{
    emit mouseMoved();
    QPushButton::mouseMoveEvent(event);
}
