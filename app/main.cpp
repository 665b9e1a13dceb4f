#include "app/exittimestore.h"
#include "app/firstpaintwatch.h"
#include "app/form1.h"
#include "app/quitsignals.h"
#include "app/singleinstance.h"
#include "app/useractivitywatch.h"
#include "chart/chartcommand.h"
#include "chart/ownedworkbooks.h"
#include "ground/applicationidentity.h"
#include "ground/commandline.h"
#include "ground/settingsstore.h"
#include "libreoffice/libreofficeserver.h"
#include "widgets/progressjob.h"
#include "widgets/qtprompts.h"

#include <QApplication>
#include <QFileInfo>
#include <QSessionManager>

#include <cstdio>

#include <malloc.h>

namespace {

// Answers --help, --version and a refused command line before Qt starts, so
// that they need no display and touch nothing. Returns the exit status, or -1
// when the program is to run.
int AnswerCommandLine(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const QString program = argc > 0 ? QFileInfo(QString::fromLocal8Bit(argv[0])).fileName()
                                     : QStringLiteral("quintarra");
    const CommandLine commandLine = ParseCommandLine(arguments);
    switch (commandLine.action) {
    case CommandLine::Action::Run:
        return -1;
    case CommandLine::Action::ShowHelp:
        std::fputs(HelpText(program).toLocal8Bit().constData(), stdout);
        return 0;
    case CommandLine::Action::ShowVersion:
        std::fputs(VersionText(program, QStringLiteral(QUINTARRA_VERSION)).toLocal8Bit().constData(), stdout);
        return 0;
    case CommandLine::Action::Refuse:
        std::fprintf(stderr, "%s: %s\n", program.toLocal8Bit().constData(),
                     commandLine.error.toLocal8Bit().constData());
        return CommandLine::kUsageError;
    }
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (const int status = AnswerCommandLine(argc, argv); status >= 0)
        return status;

    // The spares' pool, the watchdog and the thread that carries each engine
    // connection would each get a memory arena of their own, kept for good:
    // after a few charts the program held 71 MB instead of 57.
    mallopt(M_ARENA_MAX, 2);
    QApplication app(argc, argv);
    SetApplicationIdentity(QStringLiteral(QUINTARRA_VERSION));
    // A copy already keeping this list comes to the front instead.
    SingleInstance instance(SettingsFilePath(kSettingsApp));
    if (!instance.claim())
        return 0;
    QuitSignals quitSignals;
    QtPrompts prompts;
    LibreOfficeServer server;
    Form1 form(prompts, server);

    // Ended from outside, the program ends as closing its window ends it;
    // the engine's work under way is cancelled as its event loop returns.
    QObject::connect(&quitSignals, &QuitSignals::received, &form, &QWidget::close);
    // The session may end the program without another word after this; the
    // logout is never refused.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &form, [&form](QSessionManager &) {
        ProgressJob::cancelRunning();
        form.storeList();
    });
    QObject::connect(&instance, &SingleInstance::activationRequested, &form, &Form1::bringToFront);
    ExitTimeStore::install();

    server.setWarmUpDocument(kTemplateResource);
    // Once the window has painted, so that none of it delays the window.
    FirstPaintWatch afterFirstPaint([&server] {
        OwnedWorkbooks::removeThoseOfDeadRuns();
        server.startSpares();
    });
    // The spares end while the user is away and start again on return.
    UserActivityWatch userActivity([&server] { server.userActive(); });
    form.show();
    const int status = app.exec();
    ExitTimeStore::disarm();
    return status;
}
