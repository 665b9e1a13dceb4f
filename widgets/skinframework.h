#pragma once

#include "widgets/layer.h"

#include "widgets/skincomponent.h"

#include <QString>

class QWidget;

// SkinFramework1: skins a window with a Qt style sheet read from a skin file.
//
//   id 2  method   LoadSkin(path, section)   reads the sheet; answers whether it could
//   id 3  method   ApplyWindow(handle)       applies the loaded sheet to that window
//   id 1  property Options (32-bit flags)    ResolveUrls: url(...) in the sheet is read
//                                            relative to the skin file's folder
//   id 5  property FusionBase (bool)         the window is drawn with the Fusion style
//                                            under the sheet, alike on every desktop
//   id 10 property PolishNow (bool)          controls already shown take the skin at once
class SkinFramework : public SkinComponent
{
public:
    enum DispatchId { Options = 1, LoadSkin = 2, ApplyWindow = 3, FusionBase = 5, PolishNow = 10 };
    enum OptionFlag { ResolveUrls = 0x1 };

    QVariant invoke(int dispatchId, const QVariantList &arguments) override;
    QVariant property(int dispatchId) const override;
    void setProperty(int dispatchId, const QVariant &value) override;

    QString styleSheet() const { return mStyleSheet; }

private:
    bool loadSkin(const QString &path);
    bool applyWindow(QWidget *window);
    QString sheetToApply() const;

    QString mStyleSheet;
    QString mSkinFolder;
    qint32 mOptions = 0;
    bool mFusionBase = false;
    bool mPolishNow = false;
};
