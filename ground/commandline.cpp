#include "ground/commandline.h"

#include <QSet>

using namespace Qt::StringLiterals;

namespace {

// The options every Qt program understands; QApplication reads them from the
// command line, so they are let through here. Spelled with one dash or two.
const QSet<QString> kQtOptionsWithValue{
    u"platform"_s, u"platformpluginpath"_s, u"platformtheme"_s, u"plugin"_s,
    u"qwindowgeometry"_s, u"qwindowicon"_s, u"qwindowtitle"_s, u"style"_s,
    u"stylesheet"_s, u"session"_s, u"display"_s, u"geometry"_s, u"title"_s, u"name"_s,
};
const QSet<QString> kQtFlags{
    u"reverse"_s, u"widgetcount"_s, u"sync"_s, u"nograb"_s, u"dograb"_s,
};

QString optionName(const QString &argument)
{
    QString name = argument.mid(argument.startsWith(u"--"_s) ? 2 : 1);
    return name.left(name.indexOf(u'='));
}

} // namespace

CommandLine ParseCommandLine(const QStringList &arguments)
{
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == u"--help"_s || argument == u"-h"_s)
            return {CommandLine::Action::ShowHelp, {}};
        if (argument == u"--version"_s)
            return {CommandLine::Action::ShowVersion, {}};
        if (argument.size() < 2 || !argument.startsWith(u'-')) {
            return {CommandLine::Action::Refuse,
                    u"unexpected argument '%1' (try --help)"_s.arg(argument)};
        }
        const QString name = optionName(argument);
        if (kQtFlags.contains(name) && !argument.contains(u'='))
            continue;
        if (kQtOptionsWithValue.contains(name)) {
            if (argument.contains(u'='))
                continue;
            if (i + 1 < arguments.size()) {
                ++i;
                continue;
            }
            return {CommandLine::Action::Refuse, u"option '%1' needs a value"_s.arg(argument)};
        }
        return {CommandLine::Action::Refuse, u"unknown option '%1' (try --help)"_s.arg(argument)};
    }
    return {};
}

QString HelpText(const QString &programName)
{
    return u"Usage: %1 [--help | --version]\n"
           "Turns a short list of labelled amounts into a spreadsheet workbook\n"
           "with a 3-D pie chart, made by LibreOffice Calc.\n"
           "\n"
           "Options:\n"
           "  -h, --help     show this help and exit\n"
           "      --version  show the version and exit\n"
           "\n"
           "Qt's own options, such as -platform or -style, are accepted as well.\n"
           "The list is kept in $XDG_CONFIG_HOME/Marlowic.ini, by default\n"
           "~/.config/Marlowic.ini.\n"
           "\n"
           "Environment:\n"
           "  QUINTARRA_IDLE_MINUTES  minutes without input after which the LibreOffice\n"
           "                          instances kept ready end (default 5, fractions\n"
           "                          allowed); 0 keeps none ready\n"_s.arg(programName);
}

QString VersionText(const QString &programName, const QString &version)
{
    return u"%1 %2\n"_s.arg(programName, version);
}
