#include "widgets/formcolors.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPalette>
#include <QRadioButton>
#include <QWidget>

QColor ButtonFaceColor()
{
    return QApplication::palette().color(QPalette::Button);
}

void SetBackColor(QWidget *widget, const QColor &color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void SetFormColors(QWidget *window)
{
    const QColor face = ButtonFaceColor();
    SetBackColor(window, face);
    const auto children = window->findChildren<QWidget *>();
    for (QWidget *child : children) {
        if (qobject_cast<QGroupBox *>(child) || qobject_cast<QLabel *>(child)
            || qobject_cast<QRadioButton *>(child) || qobject_cast<QCheckBox *>(child))
            SetBackColor(child, face);
    }
}
