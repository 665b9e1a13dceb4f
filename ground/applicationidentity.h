#pragma once

#include <QIcon>
#include <QString>

// How the desktop knows the program: the name of its desktop entry and icon,
// and the window class that lets a dock group both windows under that entry.
inline const QString kDesktopEntryName = QStringLiteral("com.marlowic.Quintarra");
// The class part of the windows' WM_CLASS; the desktop entry's StartupWMClass.
inline const QString kWindowClass = QStringLiteral("Quintarra");

// The program's icon: the installed theme's when there is one, else the
// copy built into the program.
QIcon ProgramIcon();

// Names the program before its first window: application name (the window
// class), version, desktop entry (the Wayland app id) and the icon every
// window and dialog carries.
void SetApplicationIdentity(const QString &version);
