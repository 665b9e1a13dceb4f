#include "app/firstpaintwatch.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

FirstPaintWatch::FirstPaintWatch(std::function<void()> then) : mThen(std::move(then))
{
    QCoreApplication::instance()->installEventFilter(this);
}

bool FirstPaintWatch::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Paint && !mSeen) {
        mSeen = true;
        QCoreApplication::instance()->removeEventFilter(this);
        // Queued: the paint itself runs first.
        QTimer::singleShot(0, this, mThen);
    }
    return QObject::eventFilter(watched, event);
}
