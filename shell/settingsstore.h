#pragma once

#include <QString>

// Per-user text settings. The platform keeps them in an INI file named after
// the application ("Marlowic.ini") in the user's configuration folder.

// The stored text, or defaultText when the key holds no value. A stored empty
// text is a value and comes back as it is.
QString GetSetting(const QString &appName, const QString &section, const QString &key,
                   const QString &defaultText);

// Stores the text. The file is replaced as a whole, so a failed write leaves the
// previous file as it was; the failure is thrown as a Failure.
void SaveSetting(const QString &appName, const QString &section, const QString &key,
                 const QString &text);

// Where the settings of appName live.
QString SettingsFilePath(const QString &appName);

inline const QString kSettingsApp = QStringLiteral("Marlowic");
inline const QString kSettingsSection = QStringLiteral("Quintarra");
