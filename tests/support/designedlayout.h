#pragma once

#include <QByteArray>
#include <QRect>

// Both windows' controls as designed, in twips (15 to a pixel at 96 DPI),
// relative to the control's parent; a window's own row (control == window)
// holds its client size.
struct DesignedRect {
    const char *window;
    const char *control;
    QRect twips;
};

inline constexpr DesignedRect kDesignedLayout[] = {
    {"Form1", "Form1", QRect(0, 0, 8040, 4800)},
    {"Form1", "ListView1", QRect(120, 1140, 7800, 2535)},
    {"Form1", "PushButton1", QRect(120, 120, 7800, 405)},
    {"Form1", "PushButton2", QRect(120, 3780, 3840, 405)},
    {"Form1", "PushButton3", QRect(4080, 3780, 3840, 405)},
    {"Form1", "PushButton4", QRect(120, 4290, 3840, 405)},
    {"Form1", "PushButton5", QRect(4080, 4290, 3840, 405)},
    {"Form1", "PushButton6", QRect(120, 630, 3840, 405)},
    {"Form1", "PushButton7", QRect(4080, 630, 3840, 405)},
    {"Form2", "Form2", QRect(0, 0, 9840, 9390)},
    {"Form2", "HScroll1", QRect(120, 7545, 9330, 255)},
    {"Form2", "VScroll1", QRect(9450, 120, 255, 7425)},
    {"Form2", "Picture2", QRect(120, 120, 9330, 7425)},
    {"Form2", "Frame1", QRect(120, 7860, 9600, 855)},
    {"Form2", "PushButton1", QRect(240, 300, 4440, 405)},
    {"Form2", "PushButton2", QRect(4800, 300, 4560, 405)},
    {"Form2", "PushButton8", QRect(120, 8850, 4680, 405)},
    {"Form2", "PushButton6", QRect(4920, 8850, 4800, 405)},
};

// The control's designed rectangle in pixels at 96 DPI; every designed value
// is a whole number of pixels. An empty rectangle for a control not in the table.
inline QRect DesignedPixels(const char *window, const char *control)
{
    for (const DesignedRect &row : kDesignedLayout) {
        if (qstrcmp(window, row.window) == 0 && qstrcmp(control, row.control) == 0)
            return QRect(row.twips.x() / 15, row.twips.y() / 15, row.twips.width() / 15,
                         row.twips.height() / 15);
    }
    return QRect();
}
