#include "widgets/applyskin.h"

#include "widgets/formcolors.h"
#include "widgets/skincomponent.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QWidget>

void ApplySkin(QWidget *window, SkinComponent &skin, const QString &programFolder)
{
    if (!QFileInfo(programFolder + kSkinFile).isFile())
        return;

    const QColor face = ButtonFaceColor();
    SetBackColor(window, face);
    // Option buttons, check boxes, frames, labels and picture boxes (labels
    // showing pictures, here) follow the window; other controls keep their colours.
    for (QWidget *child : window->findChildren<QWidget *>()) {
        if (qobject_cast<QRadioButton *>(child) || qobject_cast<QCheckBox *>(child)
            || qobject_cast<QGroupBox *>(child) || qobject_cast<QLabel *>(child))
            SetBackColor(child, face);
    }

    // The load's answer is not looked at: a skin the component rejects still
    // leaves the window recoloured, and the other calls are made all the same.
    skin.invoke(2, {programFolder + kSkinFile, QString()});
    skin.setProperty(1, qint32(skin.property(1).toInt() | 1));
    skin.setProperty(5, true);
    skin.setProperty(10, true);
    skin.invoke(3, {QVariant::fromValue<WId>(window->winId())});
}
