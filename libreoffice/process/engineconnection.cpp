#include "libreoffice/process/engineconnection.h"

#include "ground/homeowner.h"
#include "libreoffice/disk/engineregistry.h"
#include "libreoffice/installation.h"

#include <QDir>

#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <cppuhelper/bootstrap.hxx>

#include <algorithm>
#include <mutex>

#include <signal.h>
#include <sys/stat.h>

namespace {

// The local UNO runtime makes the user's configuration folder when it is
// missing (LibreOffice's bootstrap names its profile after it). Run as root with
// another user's home, that folder would be root's and the user locked out of
// it: it is made here first, as the home owner's.
void makeConfigFolderTheHomeOwners()
{
    if (!qEnvironmentVariableIsEmpty("XDG_CONFIG_HOME"))
        return;
    const QString folder = QDir(qEnvironmentVariable("HOME")).filePath(QStringLiteral(".config"));
    if (HomeOwnerFor(folder) && ::mkdir(QFile::encodeName(folder).constData(), 0700) == 0)
        GiveToHomeOwner(folder);
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
        qputenv("URE_BOOTSTRAP", ("vnd.sun.star.pathname:" + Installation::ours().programFolder()
                                  + QStringLiteral("/fundamentalrc")).toLocal8Bit());
        makeConfigFolderTheHomeOwners();
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
    const QString path = pipePath(pipe);
    const QList<QByteArray> inodes = EngineRegistry::pipeSocketsSeenBy(pid).keys(path);
    if (inodes.isEmpty())
        return Attempt::NotListening;
    const QList<QByteArray> held = EngineRegistry::socketInodesHeldBy(pid);
    if (std::none_of(held.cbegin(), held.cend(), [&](const QByteArray &inode) { return inodes.contains(inode); }))
        throw SpreadsheetError(QStringLiteral("The pipe %1 belongs to another process.").arg(path));
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
