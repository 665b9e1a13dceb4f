#pragma once

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

// Hands the widget a mouse event at a point of its own, as the platform would,
// without moving the real pointer: buttons are those held once it has happened.
inline void SendMouse(QWidget *widget, QEvent::Type type, QPointF at, Qt::MouseButton button,
                      Qt::MouseButtons buttons)
{
    QMouseEvent event(type, at, widget->mapToGlobal(at), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}
