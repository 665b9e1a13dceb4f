#pragma once

#include "widgets/layer.h"

#include <QPushButton>

// A command button that also tells its window when the mouse moves over it,
// so the window can switch to the hand pointer.
class PushButton : public QPushButton
{
    Q_OBJECT

public:
    explicit PushButton(const QString &caption, QWidget *parent = nullptr);

signals:
    void mouseMoved();

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
};
