#pragma once

#include <QString>
#include <QTemporaryDir>

// Points the configuration folder (XDG_CONFIG_HOME) and the temporary folder
// (TEMP) of the running test at fresh folders, and puts them back afterwards.
class IsolatedEnvironment
{
public:
    IsolatedEnvironment();
    ~IsolatedEnvironment();

    QString configFolder() const;
    QString tempFolder() const;
    QString root() const { return mRoot.path(); }

private:
    QTemporaryDir mRoot;
    QByteArray mOldConfig;
    QByteArray mOldTemp;
    bool mHadConfig;
    bool mHadTemp;
};
