#include "app/useractivitywatch.h"

#include <QCoreApplication>
#include <QEvent>

UserActivityWatch::UserActivityWatch(std::function<void()> onActivity) : mOnActivity(std::move(onActivity))
{
    QCoreApplication::instance()->installEventFilter(this);
}

bool UserActivityWatch::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::KeyPress:
    case QEvent::Wheel:
    case QEvent::Enter:
    case QEvent::WindowActivate:
        mOnActivity();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
