#pragma once

#include "app/layer.h"

#include <QObject>

#include <functional>

// Runs a function once, after the first paint of any window has been handled:
// work that would slow the first picture of the window waits for it.
class FirstPaintWatch : public QObject
{
public:
    explicit FirstPaintWatch(std::function<void()> then);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::function<void()> mThen;
    bool mSeen = false;
};
