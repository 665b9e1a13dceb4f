#pragma once

#include "preview/layer.h"

#include <QGroupBox>

// A frame with a caption that lets the window's surface colour show through:
// only its outline and caption are drawn. The platform's group box shades
// the area inside its outline, which would set the frame off from the window.
class Frame : public QGroupBox
{
    Q_OBJECT

public:
    explicit Frame(const QString &caption, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};
