#include "app/quitsignals.h"

#include "ground/failure.h"

#include <QSocketNotifier>

#include <cerrno>

#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

int gWriteEnd = -1;
pid_t gOwner = 0;

void onSignal(int number)
{
    // A child between fork and exec still has this handler; what is sent to
    // it is not a request to end this program.
    if (::getpid() != gOwner)
        return;
    const int savedErrno = errno;
    const char byte = static_cast<char>(number);
    // The write end does not block: with the pipe full, a request to end is
    // already waiting.
    [[maybe_unused]] const ssize_t written = ::write(gWriteEnd, &byte, 1);
    errno = savedErrno;
}

} // namespace

QuitSignals::QuitSignals(QObject *parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, mFds) != 0)
        throw Failure(QStringLiteral("The program cannot watch for requests to end: %1")
                              .arg(SystemWords(errno)));
    gWriteEnd = mFds[0];
    gOwner = ::getpid();
    mNotifier = new QSocketNotifier(mFds[1], QSocketNotifier::Read, this);
    connect(mNotifier, &QSocketNotifier::activated, this, &QuitSignals::readPending);

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // Blocking calls of the user-interface thread go on as if nothing happened.
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) {
        ::sigaction(kSignals[i], nullptr, &mEarlier[i]);
        // The starter chose to ignore it (nohup ignores SIGHUP so that the
        // program outlives its terminal): that choice stands.
        if (mEarlier[i].sa_handler != SIG_IGN)
            ::sigaction(kSignals[i], &action, nullptr);
    }
}

QuitSignals::~QuitSignals()
{
    for (int i = 0; i < 3; ++i)
        ::sigaction(kSignals[i], &mEarlier[i], nullptr);
    gWriteEnd = -1;
    ::close(mFds[0]);
    ::close(mFds[1]);
}

void QuitSignals::readPending()
{
    char bytes[16];
    ssize_t count;
    while ((count = ::read(mFds[1], bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < count; ++i)
            emit received(static_cast<unsigned char>(bytes[i]));
    }
}
