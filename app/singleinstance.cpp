#include "app/singleinstance.h"

#include "chart/temporaryfolder.h"
#include "ground/privatefolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QByteArray kActivate = QByteArrayLiteral("activate\n");

// How long a running copy may take to accept: it may be busy with a chart.
constexpr int kConnectTimeoutMs = 5000;

// A socket's path holds 107 bytes at most.
constexpr int kLongestSocketPath = 100;

// The same file reached through another path (a link, "..") is the same list.
QString SameFileKey(const QString &settingsFile)
{
    const QFileInfo file(settingsFile);
    const QString canonical = file.canonicalFilePath();
    if (!canonical.isEmpty())
        return canonical;
    const QString folder = QFileInfo(file.absolutePath()).canonicalFilePath();
    return (folder.isEmpty() ? file.absolutePath() : folder) + u'/' + file.fileName();
}

// Only this user can make or reach a name in it: another user can neither
// take the socket's name nor plant a file at the lock's.
QString SocketFolder(const QString &name)
{
    const QString folder = PrivateTemporaryFolder();
    if ((folder + u'/' + name).toLocal8Bit().size() < kLongestSocketPath)
        return folder;
    return MakePrivateFolder(u"/tmp/quintarra-%1"_s.arg(::geteuid()), u"folder"_s);
}

// Whether the process at the other end of a local socket runs as this user.
bool PeerIsThisUser(qintptr descriptor)
{
    ucred peer = {};
    socklen_t size = sizeof peer;
    return ::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0
            && peer.uid == ::geteuid();
}

} // namespace

SingleInstance::SingleInstance(const QString &settingsFile, QObject *parent)
    : QObject(parent)
    , mSettingsFile(settingsFile)
{
}

QString SingleInstance::socketName(const QString &settingsFile)
{
    const QByteArray digest = QCryptographicHash::hash(SameFileKey(settingsFile).toUtf8(),
                                                       QCryptographicHash::Sha256)
                                      .toHex()
                                      .left(24);
    return u"quintarra-%1-%2"_s.arg(::geteuid()).arg(QString::fromLatin1(digest));
}

QString SingleInstance::socketPath(const QString &settingsFile)
{
    const QString name = socketName(settingsFile);
    return SocketFolder(name) + u'/' + name;
}

bool SingleInstance::claim()
{
    try {
        mPath = socketPath(mSettingsFile);
    } catch (const std::exception &e) {
        qWarning("quintarra: runs without looking for another copy of the list: %s", e.what());
        return true;
    }
    // Two starts at the same moment would each find no copy, and the second
    // would remove the first one's socket: the look and the listening go
    // under one lock. A lock left by a killed start is taken over.
    QLockFile lock(mPath + u".lock"_s);
    lock.tryLock(kConnectTimeoutMs * 2);
    switch (askRunningCopy()) {
    case Answer::Activated:
        return false;
    case Answer::NoCopy:
        listen();
        return true;
    case Answer::AnotherUser:
        qWarning("quintarra: %s belongs to another user; this copy runs on its own.", qPrintable(mPath));
        return true;
    }
    return true;
}

SingleInstance::Answer SingleInstance::askRunningCopy()
{
    QLocalSocket socket;
    socket.connectToServer(mPath);
    if (!socket.waitForConnected(kConnectTimeoutMs))
        return Answer::NoCopy;
    // Only a copy of this user's keeps this user's list.
    if (!PeerIsThisUser(socket.socketDescriptor()))
        return Answer::AnotherUser;
    socket.write(kActivate);
    socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.disconnectFromServer();
    return Answer::Activated;
}

void SingleInstance::listen()
{
    // No copy answered, so a socket file left there is a killed copy's.
    QLocalServer::removeServer(mPath);
    mServer = new QLocalServer(this);
    mServer->setSocketOptions(QLocalServer::UserAccessOption);
    // Without the socket the program still runs, only without the guard.
    if (!mServer->listen(mPath))
        qWarning("quintarra: %s: %s", qPrintable(mPath), qPrintable(mServer->errorString()));
    connect(mServer, &QLocalServer::newConnection, this, &SingleInstance::readRequest);
}

void SingleInstance::readRequest()
{
    while (QLocalSocket *socket = mServer->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!PeerIsThisUser(socket->socketDescriptor())) {
            socket->abort();
            continue;
        }
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->canReadLine() && socket->readLine() == kActivate)
                emit activationRequested();
        });
    }
}
