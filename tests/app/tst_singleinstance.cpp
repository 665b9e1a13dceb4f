#include "app/singleinstance.h"

#include "unprivilegeduser.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <optional>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

sockaddr_un SocketAddress(const QString &path)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    qstrncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof address.sun_path);
    return address;
}

// A process listening at path as "nobody" (or as this user when the test
// cannot switch users), accepting and dropping every connection.
class ListenerOfAnotherUser
{
public:
    explicit ListenerOfAnotherUser(const QString &path)
    {
        const UnprivilegedUser nobody;
        const sockaddr_un address = SocketAddress(path);
        int ready[2];
        if (::pipe(ready) != 0)
            return;
        mPid = ::fork();
        if (mPid == 0) {
            // Only system calls between fork and _exit: the test has threads.
            if (nobody.available() && (::setgid(nobody.gid()) != 0 || ::setuid(nobody.uid()) != 0))
                ::_exit(1);
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            if (::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0
                || ::listen(fd, 8) != 0)
                ::_exit(1);
            [[maybe_unused]] const ssize_t written = ::write(ready[1], "r", 1);
            for (;;) {
                const int connection = ::accept(fd, nullptr, nullptr);
                if (connection >= 0)
                    ::close(connection);
            }
        }
        ::close(ready[1]);
        char byte;
        mListening = mPid > 0 && ::read(ready[0], &byte, 1) == 1;
        ::close(ready[0]);
    }
    ~ListenerOfAnotherUser()
    {
        if (mPid > 0) {
            ::kill(mPid, SIGKILL);
            ::waitpid(mPid, nullptr, 0);
        }
    }
    bool listening() const { return mListening; }

private:
    pid_t mPid = -1;
    bool mListening = false;
};

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void secondStartWakesTheFirst();
    void otherListsStayIndependent();
    void killedCopyDoesNotBlock();
    void sharedTemporaryFolder_data();
    void sharedTemporaryFolder();
    void listenerOfAnotherUserInOurFolder();

private:
    static bool useSharedTemporaryFolder(const QTemporaryDir &shared);

    QTemporaryDir mRuntime;
    QString mSettings;
};

void TestSingleInstance::cleanup()
{
    qunsetenv("TMPDIR");
}

// No runtime folder: the temporary folder is shared with every user, as /tmp is.
bool TestSingleInstance::useSharedTemporaryFolder(const QTemporaryDir &shared)
{
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", shared.path().toLocal8Bit());
    return shared.isValid() && ::chmod(QFile::encodeName(shared.path()).constData(), 01777) == 0;
}

void TestSingleInstance::init()
{
    QVERIFY(mRuntime.isValid());
    qputenv("XDG_RUNTIME_DIR", mRuntime.path().toLocal8Bit());
    mSettings = mRuntime.filePath(QStringLiteral("config/Marlowic.ini"));
    QDir().mkpath(mRuntime.filePath(QStringLiteral("config")));
}

void TestSingleInstance::secondStartWakesTheFirst()
{
    SingleInstance first(mSettings);
    QSignalSpy woken(&first, &SingleInstance::activationRequested);
    QVERIFY(first.claim());
    // The same file reached through another path is the same list.
    SingleInstance second(mRuntime.filePath(QStringLiteral("config/../config/Marlowic.ini")));
    QVERIFY(!second.claim());
    QTRY_COMPARE(woken.count(), 1);
}

void TestSingleInstance::otherListsStayIndependent()
{
    SingleInstance first(mSettings);
    QVERIFY(first.claim());
    SingleInstance other(mRuntime.filePath(QStringLiteral("elsewhere/Marlowic.ini")));
    QVERIFY(other.claim());
}

// A copy killed outright leaves its socket file with nobody listening.
void TestSingleInstance::killedCopyDoesNotBlock()
{
    const QByteArray path = SingleInstance::socketPath(mSettings).toLocal8Bit();
    const sockaddr_un address = SocketAddress(QString::fromLocal8Bit(path));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QCOMPARE(::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
    ::close(fd);
    QVERIFY(QFileInfo::exists(QString::fromLocal8Bit(path)));

    SingleInstance next(mSettings);
    QVERIFY(next.claim());
    SingleInstance later(mSettings);
    QVERIFY(!later.claim());
}

void TestSingleInstance::sharedTemporaryFolder_data()
{
    QTest::addColumn<QString>("planted");
    QTest::newRow("another user listening at the socket's name") << QStringLiteral("socket");
    QTest::newRow("a FIFO at the lock's name") << QStringLiteral("fifo");
    QTest::newRow("a file at the lock's name") << QStringLiteral("file");
}

// Without a runtime folder of the user's, the names a start would use in the
// shared temporary folder are open to any user. What another user put there
// neither ends the start nor holds it up.
void TestSingleInstance::sharedTemporaryFolder()
{
    QFETCH(QString, planted);
    QTemporaryDir shared;
    QVERIFY(useSharedTemporaryFolder(shared));
    const QString name = shared.filePath(SingleInstance::socketName(mSettings));

    std::optional<ListenerOfAnotherUser> listener;
    if (planted == u"socket")
        QVERIFY(listener.emplace(name).listening());
    else if (planted == u"fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(name + QStringLiteral(".lock")).constData(), 0666), 0);
    else
        QVERIFY(QFile(name + QStringLiteral(".lock")).open(QIODevice::WriteOnly));

    QElapsedTimer took;
    took.start();
    SingleInstance first(mSettings);
    QVERIFY(first.claim());
    // A plain lock file that cannot be taken over once cost ten seconds.
    QCOMPARE_LT(took.elapsed(), 5000);
    SingleInstance second(mSettings);
    QVERIFY(!second.claim());
}

// A socket of another user's in the folder that should be ours alone (a
// folder once left open to others) is never asked; this copy runs on its own.
void TestSingleInstance::listenerOfAnotherUserInOurFolder()
{
    if (::geteuid() != 0)
        QSKIP("Only root can run a listener as another user.");
    QTemporaryDir shared;
    QVERIFY(useSharedTemporaryFolder(shared));
    const QString path = SingleInstance::socketPath(mSettings);
    const QString folder = QFileInfo(path).absolutePath();
    QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0777) == 0);
    ListenerOfAnotherUser listener(path);
    QVERIFY(listener.listening());
    SingleInstance start(mSettings);
    QVERIFY(start.claim());
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
