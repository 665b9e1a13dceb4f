#include "widgets/skinframework.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>

QVariant SkinFramework::invoke(int dispatchId, const QVariantList &arguments)
{
    switch (dispatchId) {
    case LoadSkin:
        return loadSkin(arguments.value(0).toString());
    case ApplyWindow:
        return applyWindow(QWidget::find(arguments.value(0).value<WId>()));
    default:
        return {};
    }
}

QVariant SkinFramework::property(int dispatchId) const
{
    switch (dispatchId) {
    case Options: return mOptions;
    case FusionBase: return mFusionBase;
    case PolishNow: return mPolishNow;
    default: return {};
    }
}

void SkinFramework::setProperty(int dispatchId, const QVariant &value)
{
    switch (dispatchId) {
    case Options: mOptions = value.toInt(); break;
    case FusionBase: mFusionBase = value.toBool(); break;
    case PolishNow: mPolishNow = value.toBool(); break;
    default: break;
    }
}

bool SkinFramework::loadSkin(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    mStyleSheet = QString::fromUtf8(file.readAll());
    mSkinFolder = QFileInfo(path).absolutePath();
    return true;
}

QString SkinFramework::sheetToApply() const
{
    if (!(mOptions & ResolveUrls))
        return mStyleSheet;
    // Qt reads relative url()s against the working directory; a skin names the
    // images that lie beside it.
    static const QRegularExpression relativeUrl(
            QStringLiteral(R"(url\(\s*(["']?)(?![a-zA-Z]+:|/|:)([^"')]+)\1\s*\))"));
    QString sheet = mStyleSheet;
    const QDir folder(mSkinFolder);
    sheet.replace(relativeUrl, QStringLiteral("url(\"%1/\\2\")").arg(folder.absolutePath()));
    return sheet;
}

bool SkinFramework::applyWindow(QWidget *window)
{
    if (!window)
        return false;
    if (mFusionBase) {
        if (QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion"))) {
            fusion->setParent(window);
            window->setStyle(fusion);
            for (QWidget *child : window->findChildren<QWidget *>())
                child->setStyle(fusion);
        }
    }
    window->setStyleSheet(sheetToApply());
    if (mPolishNow) {
        for (QWidget *child : window->findChildren<QWidget *>()) {
            child->style()->unpolish(child);
            child->style()->polish(child);
            child->update();
        }
    }
    return true;
}
