#pragma once

#include "app/layer.h"

#include <QString>

// Keeps the list as last seen and stores it when the process ends without
// passing through the program's own ending. Qt's X11 connection calls exit()
// from its reader thread when the display goes away (an X server killed, a
// session torn down); the windows never close then, and without this the
// user's edits, or on a first run the whole settings file, would be lost.
// Safe from any thread; the store runs in the exiting thread and touches no
// window.
namespace ExitTimeStore {

// Arms the exit-time store (registering it once). While armed, an exit()
// stores the list when it differs from what the program stored, then ends
// the process at once with exit()'s status.
void install();
// The list's stored form as the window now shows it.
void seen(const QString &text);
// The program has stored this text itself.
void stored(const QString &text);
// The program ends its own way: what it meant to store is stored.
void disarm();

} // namespace ExitTimeStore
