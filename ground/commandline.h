#pragma once

#include <QString>
#include <QStringList>

// What the program's arguments ask for. The program takes no arguments of its
// own beyond --help and --version; everything else is refused, except Qt's
// own options, which QApplication takes out before the windows see them.
struct CommandLine {
    enum class Action { Run, ShowHelp, ShowVersion, Refuse };

    Action action = Action::Run;
    QString error;   // one line, for Refuse

    // Exit status of a refused command line, as getopt-style programs use.
    static constexpr int kUsageError = 2;
};

// arguments excludes the program name.
CommandLine ParseCommandLine(const QStringList &arguments);

QString HelpText(const QString &programName);
QString VersionText(const QString &programName, const QString &version);
