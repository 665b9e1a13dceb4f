#pragma once

#include <QString>

// Keeps the list as last seen and stores it when the process ends without
// passing through the program's own ending. Qt's X11 connection calls exit()
// from its reader thread when the display goes away (an X server killed, a
// session torn down); the windows never close then, and without this the
// user's edits, or on a first run the whole settings file, would be lost.
// Safe from any thread; the store runs in the exiting thread and touches no
// window.
namespace ExitTimeStore {

// Registers the exit-time store; later calls do nothing.
void install();
// The list's stored form as the window now shows it.
void seen(const QString &text);
// The program has stored this text itself.
void stored(const QString &text);
// The program ends its own way: what it meant to store is stored.
void disarm();

} // namespace ExitTimeStore
