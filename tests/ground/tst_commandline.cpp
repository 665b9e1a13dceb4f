#include "ground/commandline.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using Action = CommandLine::Action;

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void program_data();
    void program();
};

void TestCommandLine::parse_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<Action>("action");

    QTest::newRow("none") << QStringList{} << Action::Run;
    QTest::newRow("help") << QStringList{"--help"} << Action::ShowHelp;
    QTest::newRow("short help") << QStringList{"-h"} << Action::ShowHelp;
    QTest::newRow("version") << QStringList{"--version"} << Action::ShowVersion;
    QTest::newRow("help after a Qt option") << QStringList{"-platform", "offscreen", "--help"} << Action::ShowHelp;
    QTest::newRow("Qt option with its value") << QStringList{"-style", "fusion"} << Action::Run;
    QTest::newRow("Qt option, two dashes and =") << QStringList{"--platform=offscreen"} << Action::Run;
    QTest::newRow("Qt flag") << QStringList{"-reverse"} << Action::Run;
    // A Qt option's value is not read as an option of its own.
    QTest::newRow("value that looks like an option") << QStringList{"-qwindowtitle", "--version"} << Action::Run;
    QTest::newRow("Qt option without its value") << QStringList{"-platform"} << Action::Refuse;
    QTest::newRow("unknown long option") << QStringList{"--verbose"} << Action::Refuse;
    QTest::newRow("unknown short option") << QStringList{"-v"} << Action::Refuse;
    QTest::newRow("help's prefix") << QStringList{"--hel"} << Action::Refuse;
    QTest::newRow("a file name") << QStringList{"list.txt"} << Action::Refuse;
    QTest::newRow("lone dash") << QStringList{"-"} << Action::Refuse;
    QTest::newRow("bad option before help") << QStringList{"--bogus", "--help"} << Action::Refuse;
}

void TestCommandLine::parse()
{
    QFETCH(QStringList, arguments);
    QFETCH(Action, action);
    const CommandLine commandLine = ParseCommandLine(arguments);
    QCOMPARE(commandLine.action, action);
    QCOMPARE(commandLine.error.isEmpty(), action != Action::Refuse);
}

void TestCommandLine::program_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");   // the start of standard output
    QTest::addColumn<QString>("error");    // the whole of standard error

    QTest::newRow("help") << QStringList{"--help"} << 0 << "Usage: quintarra [--help | --version]\n" << "";
    QTest::newRow("version") << QStringList{"--version"} << 0 << "quintarra " QUINTARRA_VERSION "\n" << "";
    QTest::newRow("unknown option") << QStringList{"--frobnicate"} << 2 << ""
                                    << "quintarra: unknown option '--frobnicate' (try --help)\n";
    QTest::newRow("argument") << QStringList{"assets.txt"} << 2 << ""
                              << "quintarra: unexpected argument 'assets.txt' (try --help)\n";
}

// The built program, with no display to open a window on: these answers come
// before any window, and leave the settings alone.
void TestCommandLine::program()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QFETCH(QString, error);

    QTemporaryDir config;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", config.path());
    environment.insert("QT_QPA_PLATFORM", "xcb");
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QUINTARRA_PROGRAM, arguments);
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), exitCode);
    const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
    QVERIFY2(output.isEmpty() ? out.isEmpty() : out.startsWith(output), qPrintable(out));
    QCOMPARE(QString::fromLocal8Bit(program.readAllStandardError()), error);
    QCOMPARE(QDir(config.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{});
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
