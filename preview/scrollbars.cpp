#include "preview/scrollbars.h"

#include "preview/rounding.h"
#include "preview/zoom.h"

#include <QScrollBar>

QScrollBar *MakeViewportScrollBar(Qt::Orientation orientation, QWidget *parent)
{
    auto *bar = new QScrollBar(orientation, parent);
    bar->setRange(0, 0);
    bar->setSingleStep(1);
    bar->setPageStep(1);
    // The picture moves when the value changes, not while the thumb is dragged.
    bar->setTracking(false);
    bar->setEnabled(false);
    // The bars are the keyboard's way to move the picture: in the tab order,
    // arrows and Page keys move them.
    bar->setFocusPolicy(Qt::StrongFocus);
    return bar;
}

void ResetScrollBar(QScrollBar *bar, int pictureSize, int viewportSize, qint16 &unit)
{
    if (pictureSize <= viewportSize) {
        bar->setEnabled(false);
        unit = 0;
        return;
    }
    const float overhang = float(pictureSize) - float(viewportSize);
    bar->setEnabled(true);
    if (overhang <= kFineOverhang) {
        bar->setMaximum(ToInt16(qint64(overhang)));
        unit = 1;
    } else {
        bar->setMaximum(RoundToInt16(overhang / 10.0));
        unit = 10;
    }
    bar->setValue(0);
}

void SetScrollbarByPercent(QScrollBar *bar, qint16 percent)
{
    if (percent < 0)
        return;
    const int maximum = bar->maximum();
    const double value = percent / 100.0 * maximum;
    if (value > maximum)
        return;
    bar->setValue(RoundToInt16(value));
}
