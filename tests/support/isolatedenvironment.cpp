#include "isolatedenvironment.h"

#include <QDir>

IsolatedEnvironment::IsolatedEnvironment()
    : mOldConfig(qgetenv("XDG_CONFIG_HOME"))
    , mOldTemp(qgetenv("TEMP"))
    , mHadConfig(qEnvironmentVariableIsSet("XDG_CONFIG_HOME"))
    , mHadTemp(qEnvironmentVariableIsSet("TEMP"))
{
    QDir(mRoot.path()).mkpath(QStringLiteral("config"));
    QDir(mRoot.path()).mkpath(QStringLiteral("temp"));
    qputenv("XDG_CONFIG_HOME", configFolder().toLocal8Bit());
    qputenv("TEMP", tempFolder().toLocal8Bit());
}

IsolatedEnvironment::~IsolatedEnvironment()
{
    if (mHadConfig)
        qputenv("XDG_CONFIG_HOME", mOldConfig);
    else
        qunsetenv("XDG_CONFIG_HOME");
    if (mHadTemp)
        qputenv("TEMP", mOldTemp);
    else
        qunsetenv("TEMP");
}

QString IsolatedEnvironment::configFolder() const
{
    return mRoot.filePath(QStringLiteral("config"));
}

QString IsolatedEnvironment::tempFolder() const
{
    return mRoot.filePath(QStringLiteral("temp"));
}
