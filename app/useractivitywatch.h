#pragma once

#include "app/layer.h"

#include <QObject>

#include <functional>

// Calls a function at every sign that the user is at one of the program's
// windows: the pointer moved over it or entered it, a button, a key or the
// wheel, a window activated.
class UserActivityWatch : public QObject
{
public:
    explicit UserActivityWatch(std::function<void()> onActivity);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::function<void()> mOnActivity;
};
