#include "chart/engineconnection.h"

#include "chart/engineregistry.h"

#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <cppuhelper/bootstrap.hxx>

#include <QDir>
#include <QFile>
#include <QSet>

#include <mutex>

#include <signal.h>

#include <unistd.h>

namespace {

// The inodes of the listening sockets bound to the given path, as the process
// sees them: it may run in a network of its own.
QSet<QString> socketInodes(qint64 pid, const QString &path)
{
    QSet<QString> inodes;
    QFile table(QStringLiteral("/proc/%1/net/unix").arg(pid));
    if (!table.open(QIODevice::ReadOnly))
        return inodes;
    const QList<QByteArray> lines = table.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 8 && QString::fromLocal8Bit(fields.at(7)) == path)
            inodes.insert(QString::fromLatin1(fields.at(6)));
    }
    return inodes;
}

bool processHoldsSocket(qint64 pid, const QSet<QString> &inodes)
{
    const QString fdFolder = QStringLiteral("/proc/%1/fd").arg(pid);
    const QStringList fds = QDir(fdFolder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &fd : fds) {
        char target[128] = {};
        const QByteArray link = QFile::encodeName(fdFolder + QLatin1Char('/') + fd);
        const ssize_t length = ::readlink(link.constData(), target, sizeof target - 1);
        if (length <= 0)
            continue;
        // The link reads "socket:[inode]".
        const QByteArray text(target, length);
        if (text.startsWith("socket:[") && text.endsWith(']')
            && inodes.contains(QString::fromLatin1(text.mid(8, text.size() - 9))))
            return true;
    }
    return false;
}

css::uno::Reference<css::uno::XComponentContext> localContext()
{
    static std::once_flag once;
    static css::uno::Reference<css::uno::XComponentContext> local;
    static QString failure;
    std::call_once(once, [] {
        // An instance that ends or is killed while the bridge still writes to
        // its pipe would otherwise take this program down with SIGPIPE; the
        // write fails instead, and the call reports it.
        ::signal(SIGPIPE, SIG_IGN);
        // Without it the first remote call crashes: the local UNO runtime finds
        // its type registries through this file.
        qputenv("URE_BOOTSTRAP", ("vnd.sun.star.pathname:" + EngineProcess::programFolder()
                                  + QStringLiteral("/fundamentalrc")).toLocal8Bit());
        try {
            local = cppu::defaultBootstrap_InitialComponentContext();
        } catch (const css::uno::Exception &e) {
            failure = toQString(e.Message);
        }
    });
    if (!local.is())
        throw SpreadsheetError(QStringLiteral("The UNO runtime could not be started: %1").arg(failure));
    return local;
}

} // namespace

namespace EngineConnector {

QString pipePath(const QString &pipe)
{
    return EngineRegistry::pipeFilePrefix() + pipe;
}

Attempt tryConnect(EngineConnection &connection, const QString &pipe, qint64 pid, QString &problem)
{
    const auto local = localContext();
    const QSet<QString> inodes = socketInodes(pid, pipePath(pipe));
    if (inodes.isEmpty())
        return Attempt::NotListening;
    if (!processHoldsSocket(pid, inodes))
        throw SpreadsheetError(QStringLiteral("The pipe %1 belongs to another process.").arg(pipePath(pipe)));
    try {
        const auto resolver = css::bridge::UnoUrlResolver::create(local);
        const QString url = QStringLiteral("uno:pipe,name=%1;urp;StarOffice.ComponentContext").arg(pipe);
        connection.context.set(resolver->resolve(toOUString(url)), css::uno::UNO_QUERY_THROW);
        connection.desktop = css::frame::Desktop::create(connection.context);
        return Attempt::Connected;
    } catch (const css::uno::Exception &e) {
        problem = toQString(e.Message);
        connection.desktop.clear();
        connection.context.clear();
        return Attempt::Failed;
    }
}

} // namespace EngineConnector
