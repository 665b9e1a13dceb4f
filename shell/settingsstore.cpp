#include "shell/settingsstore.h"

#include "shell/failure.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

QString SettingsFilePath(const QString &appName)
{
    // Looked up on every call: the configuration folder follows XDG_CONFIG_HOME.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(folder).filePath(appName + QStringLiteral(".ini"));
}

QString GetSetting(const QString &appName, const QString &section, const QString &key,
                   const QString &defaultText)
{
    QSettings settings(SettingsFilePath(appName), QSettings::IniFormat);
    settings.beginGroup(section);
    if (!settings.contains(key))
        return defaultText;
    const QVariant value = settings.value(key);
    // A value written by hand without quotes is read as a list wherever it
    // holds a comma; it is still one text.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

void SaveSetting(const QString &appName, const QString &section, const QString &key,
                 const QString &text)
{
    const QString path = SettingsFilePath(appName);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSettings settings(path, QSettings::IniFormat);
    // QSettings writes through a save file, so the old file is replaced only
    // once the new one is complete.
    settings.setAtomicSyncRequired(true);
    settings.beginGroup(section);
    settings.setValue(key, text);
    settings.endGroup();
    settings.sync();
    if (settings.status() != QSettings::NoError)
        throw Failure(QStringLiteral("Could not write the settings file %1").arg(QDir::toNativeSeparators(path)));
}
