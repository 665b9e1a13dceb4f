#pragma once

#include "libreoffice/layer.h"

#include <QList>
#include <QString>

// LibreOffice processes of this user that this tool did not start: processes
// whose executable is a LibreOffice program, whatever they call themselves.
QList<qint64> ForeignEnginePids();

// What the installation a process runs from calls itself; the installed
// LibreOffice's name when its own cannot be told.
QString ForeignEngineProductName(qint64 pid);
