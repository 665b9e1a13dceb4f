#pragma once

#include "app/layer.h"

#include <QObject>
#include <QString>

class QLocalServer;

// One running copy per user and settings file: two copies that keep the same
// list would each store their own at the end, and the one closed last would
// silently drop the other's edits. The running copy listens on a local socket
// named after the user and the settings file; a second start asks it to come
// to the front and goes away.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstance(const QString &settingsFile, QObject *parent = nullptr);

    // True when this is the only copy for the settings file; it then listens
    // for later starts. False when another copy runs: that copy has been asked
    // to come to the front.
    bool claim();

    // The socket's full path: in the user's runtime folder, else the
    // temporary folder, with the user and a digest of the settings file in
    // its name.
    static QString socketPath(const QString &settingsFile);

signals:
    // A later start for the same settings file asked this copy to come to the front.
    void activationRequested();

private:
    bool askRunningCopy();
    void listen();
    void readRequest();

    QString mPath;
    QLocalServer *mServer = nullptr;
};
