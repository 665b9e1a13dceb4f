#include "app/singleinstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QByteArray kActivate = QByteArrayLiteral("activate\n");

// How long a running copy may take to accept: it may be busy with a chart.
constexpr int kConnectTimeoutMs = 5000;

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

QString SocketFolder()
{
    // The runtime folder is the user's alone; the temporary folder is shared,
    // and the socket is made reachable by its owner only.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QFileInfo runtimeInfo(runtime);
    if (!runtime.isEmpty() && runtimeInfo.isDir() && runtimeInfo.ownerId() == ::getuid())
        return runtime;
    return QDir::tempPath();
}

} // namespace

SingleInstance::SingleInstance(const QString &settingsFile, QObject *parent)
    : QObject(parent)
    , mPath(socketPath(settingsFile))
{
}

QString SingleInstance::socketPath(const QString &settingsFile)
{
    const QByteArray digest = QCryptographicHash::hash(SameFileKey(settingsFile).toUtf8(),
                                                       QCryptographicHash::Sha256)
                                      .toHex()
                                      .left(24);
    const QString name = u"quintarra-%1-%2"_s.arg(::getuid()).arg(QString::fromLatin1(digest));
    const QString path = SocketFolder() + u'/' + name;
    // A socket's path holds 107 bytes at most.
    return path.toLocal8Bit().size() < 100 ? path : u"/tmp/"_s + name;
}

bool SingleInstance::claim()
{
    // Two starts at the same moment would each find no copy, and the second
    // would remove the first one's socket: the look and the listening go
    // under one lock. A lock left by a killed start is taken over.
    QLockFile lock(mPath + u".lock"_s);
    lock.tryLock(kConnectTimeoutMs * 2);
    if (askRunningCopy())
        return false;
    listen();
    return true;
}

bool SingleInstance::askRunningCopy()
{
    QLocalSocket socket;
    socket.connectToServer(mPath);
    if (!socket.waitForConnected(kConnectTimeoutMs))
        return false;
    socket.write(kActivate);
    socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.disconnectFromServer();
    return true;
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
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->canReadLine() && socket->readLine() == kActivate)
                emit activationRequested();
        });
    }
}
