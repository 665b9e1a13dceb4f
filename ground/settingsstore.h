#pragma once

#include <QString>

// Per-user text settings. The platform keeps them in an INI file named after
// the application ("Marlowic.ini") in the user's configuration folder, readable
// by its owner only.

// The stored text, or defaultText when the key holds no value. A stored empty
// text is a value and comes back as it is. A file that cannot be read as
// settings holds no value.
QString GetSetting(const QString &appName, const QString &section, const QString &key,
                   const QString &defaultText);

// Stores the text. The file is replaced as a whole, and only once the new file
// is on the disk and reads back with the text, so a failed write leaves the
// previous file as it was; the failure is thrown as a Failure. Another program
// that holds the file's lock is waited for about two seconds at most. A file
// that cannot be read as settings is copied aside first (SetAsideUnreadableSettings).
// A settings file kept as a link stays one: the file it leads to is replaced. A
// replaced file keeps its owner and group; what is made new under the user's home
// by root is the home owner's (HomeOwnerFor).
void SaveSetting(const QString &appName, const QString &section, const QString &key,
                 const QString &text);

// Where the settings of appName live: in XDG_CONFIG_HOME, or in ~/.config when
// that is unset or not an absolute path.
QString SettingsFilePath(const QString &appName);

// When the settings file is there but cannot be read as settings (damaged, in
// another encoding, not text at all), copies it, owner-only, to
// "<file>.unreadable-<date>-<time>" beside it and answers the copy's path; a copy
// of the same content made before is reused. The file itself is left alone.
// Answers the empty text when the file is absent or readable. Throws a Failure
// when the file cannot be read at all or the copy cannot be made.
QString SetAsideUnreadableSettings(const QString &appName);

inline const QString kSettingsApp = QStringLiteral("Marlowic");
inline const QString kSettingsSection = QStringLiteral("Quintarra");
