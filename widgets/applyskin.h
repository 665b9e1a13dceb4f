#pragma once

#include "widgets/layer.h"

#include <QString>

class QWidget;
class SkinComponent;

// Where the skin lies, after the program's folder.
inline const QString kSkinFile = QStringLiteral("/x/o.cjs");

// The main window's optional skin: when programFolder holds "x/o.cjs" as an
// ordinary file, the window takes the button-face colour and the skin
// component loads the file and applies it to the window. Without the file
// nothing changes and the component is not called.
void ApplySkin(QWidget *window, SkinComponent &skin, const QString &programFolder);
