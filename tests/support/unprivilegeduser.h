#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <sys/types.h>

class QProcess;

// An unprivileged user ("nobody") to run programs as, for the tests where who
// runs them matters: root writes where a user may not, and owns what it makes.
// Switching users needs root; available() is false otherwise and why() says so.
class UnprivilegedUser
{
public:
    UnprivilegedUser() : UnprivilegedUser("nobody") {}
    // Another user, for the tests where two users meet: made (a system user
    // without a home) when missing and the test may make it.
    explicit UnprivilegedUser(const char *name, bool makeIfMissing = false);

    bool available() const { return mWhy.isEmpty(); }
    QString why() const { return mWhy; }
    uid_t uid() const { return mUid; }
    gid_t gid() const { return mGid; }

    // Gives the file or folder, and all that a folder holds, to the user.
    bool give(const QString &path) const;
    // Starts program as the user, in the environment given.
    void start(QProcess &process, const QString &program, const QStringList &arguments,
               const QProcessEnvironment &environment) const;
    // Every file and folder under folder (itself included) that is not the user's.
    QStringList notOwned(const QString &folder) const;

private:
    uid_t mUid = 0;
    gid_t mGid = 0;
    QString mWhy;
};
