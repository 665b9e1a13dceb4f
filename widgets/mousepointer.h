#pragma once

#include "widgets/layer.h"

#include <QCursor>
#include <QString>

#include <optional>

class QWidget;

// The mouse pointer setting of one window: 0 the default pointer, 11 the
// hourglass, 99 the window's custom mouse icon (the default pointer when it
// has none). The setting covers the window and its command buttons.
class MousePointer
{
public:
    static constexpr qint16 Default = 0;
    static constexpr qint16 Hourglass = 11;
    static constexpr qint16 Custom = 99;

    explicit MousePointer(QWidget *window) : mWindow(window) {}

    qint16 value() const { return mValue; }
    void setValue(qint16 value);

    void setMouseIcon(const QCursor &cursor);
    bool hasMouseIcon() const { return mMouseIcon.has_value(); }

    // The mouse moved over a command button: the hand, unless the window is busy.
    void buttonHovered();
    // The mouse moved over the window's own surface: the default, unless busy.
    void surfaceHovered();

private:
    void apply();

    QWidget *mWindow;
    qint16 mValue = Default;
    std::optional<QCursor> mMouseIcon;
};

// Loads a Windows cursor file (.cur) with its hotspot. Nothing when the file
// cannot be read as a cursor.
std::optional<QCursor> LoadCursorFile(const QString &path);

// The start-up step of both windows: when "HAND-M.CUR" lies in the program's
// folder, it becomes the window's custom mouse icon. A file that is no cursor
// is passed over like a missing one.
void LoadHandCursor(MousePointer &pointer);
void LoadHandCursor(MousePointer &pointer, const QString &programFolder);
