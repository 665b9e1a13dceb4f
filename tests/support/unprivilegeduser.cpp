#include "unprivilegeduser.h"

#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

UnprivilegedUser::UnprivilegedUser(const char *name, bool makeIfMissing)
{
    if (makeIfMissing && !::getpwnam(name) && ::geteuid() == 0) {
        QProcess::execute(QStringLiteral("useradd"), {QStringLiteral("--system"), QStringLiteral("--no-create-home"),
                                                      QStringLiteral("--shell"), QStringLiteral("/usr/sbin/nologin"),
                                                      QString::fromLatin1(name)});
    }
    const passwd *user = ::getpwnam(name);
    if (!user)
        mWhy = QStringLiteral("this system has no user \"%1\"").arg(QString::fromLatin1(name));
    else if (::geteuid() != 0)
        mWhy = QStringLiteral("only root can run a program as another user");
    else if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        mWhy = QStringLiteral("setpriv (util-linux) is not installed");
    if (user) {
        mUid = user->pw_uid;
        mGid = user->pw_gid;
    }
}

bool UnprivilegedUser::give(const QString &path) const
{
    bool given = ::lchown(QFile::encodeName(path).constData(), mUid, mGid) == 0;
    QDirIterator it(path, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        given = ::lchown(QFile::encodeName(it.next()).constData(), mUid, mGid) == 0 && given;
    return given;
}

void UnprivilegedUser::start(QProcess &process, const QString &program, const QStringList &arguments,
                             const QProcessEnvironment &environment) const
{
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("setpriv"),
                  QStringList{QStringLiteral("--reuid=%1").arg(mUid), QStringLiteral("--regid=%1").arg(mGid),
                              QStringLiteral("--clear-groups"), QStringLiteral("--"), program}
                          + arguments);
}

QStringList UnprivilegedUser::notOwned(const QString &folder) const
{
    QStringList found;
    const auto check = [&](const QString &path) {
        struct stat info {};
        if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || info.st_uid != mUid
            || info.st_gid != mGid)
            found.append(path);
    };
    check(folder);
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        check(it.next());
    return found;
}
