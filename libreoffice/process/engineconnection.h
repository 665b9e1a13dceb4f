#pragma once

#include "libreoffice/layer.h"

#include "libreoffice/unocall.h"

#include <QString>

// Connecting to an instance over its pipe.
namespace EngineConnector {

enum class Attempt { Connected, NotListening, Failed };

// One attempt to connect to the instance listening on the pipe. A pipe of
// that name held by another process than pid throws SpreadsheetError: it
// would hand us someone else's office. problem receives why an attempt failed.
Attempt tryConnect(EngineConnection &connection, const QString &pipe, qint64 pid, QString &problem);

// The path of the pipe's socket file.
QString pipePath(const QString &pipe);

} // namespace EngineConnector
