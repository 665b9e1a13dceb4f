#include "shell/pushbutton.h"

#include <QFont>

PushButton::PushButton(const QString &caption, QWidget *parent)
    : QPushButton(caption, parent)
{
    setMouseTracking(true);
    // A button ignores movements while it is not pressed, and Qt would then hand
    // them on to the window's surface, whose rule undoes the hand at once.
    setAttribute(Qt::WA_NoMousePropagation);
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
