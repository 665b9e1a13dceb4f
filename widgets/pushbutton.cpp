#include "widgets/pushbutton.h"

#include <QEvent>
#include <QFont>
#include <QKeyEvent>

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

bool PushButton::event(QEvent *event)
{
    // A command blocks the program while it works; clicks made meanwhile (the
    // second half of a double-click) arrive after it, when the command may
    // have hidden the window. A hidden window's button cannot have been meant.
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        if (!window()->isVisible())
            return true;
        break;
    default:
        break;
    }
    return QPushButton::event(event);
}

void PushButton::keyPressEvent(QKeyEvent *event)
{
    // Space is Qt's own; Enter works on the focused button as on the
    // platform's, though these windows are not dialogs with a default button.
    // Holding it down clicks once.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (!event->isAutoRepeat())
            click();
        event->accept();
        return;
    }
    QPushButton::keyPressEvent(event);
}

void PushButton::mouseMoveEvent(QMouseEvent *event)
{
    emit mouseMoved();
    QPushButton::mouseMoveEvent(event);
}
