#pragma once

#include "app/layer.h"

#include <QObject>
#include <QString>

class QLocalServer;

// One running copy per user and settings file: two copies that keep the same
// list would each store their own at the end, and the one closed last would
// silently drop the other's edits. The running copy listens on a local socket
// named after the user and the settings file, in a folder of the user's alone;
// a second start asks it to come to the front and goes away. Either end talks
// only to a process of the same user: a socket held by another user is never
// asked, and this copy then runs on its own.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstance(const QString &settingsFile, QObject *parent = nullptr);

    // True when this copy is to run: it is the only one for the settings
    // file and listens for later starts, or it cannot tell and runs on its
    // own (said on the standard error). False when another copy of this
    // user's runs: that copy has been asked to come to the front.
    bool claim();

    // The socket's name: the user and a digest of the settings file.
    static QString socketName(const QString &settingsFile);
    // The socket's full path, in PrivateTemporaryFolder(), or a private
    // folder under /tmp when that path is too long for a socket. Throws a
    // Failure when no such folder can be had.
    static QString socketPath(const QString &settingsFile);

signals:
    // A later start for the same settings file asked this copy to come to the front.
    void activationRequested();

private:
    enum class Answer { Activated, NoCopy, AnotherUser };

    Answer askRunningCopy();
    void listen();
    void readRequest();

    QString mSettingsFile;
    QString mPath;
    QLocalServer *mServer = nullptr;
};
