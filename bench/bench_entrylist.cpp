// Prints how long the longest list (32,766 rows) takes to store, read back,
// decode and show in the list, as a start-up and a close of the main window do.
#include "entries/entrycodec.h"
#include "entries/entrylistmodel.h"
#include "entries/entrylistview.h"
#include "entries/sampleentries.h"
#include "ground/settingsstore.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());

    EntryList many;
    for (int i = 1; i <= 32766; ++i)
        many.append({QStringLiteral("Asset number %1").arg(i), QString::number(i * 1000)});

    QTextStream out(stdout);
    QElapsedTimer timer;
    auto lap = [&](const char *what) {
        out << QStringLiteral("%1 %2 ms\n").arg(QString::fromLatin1(what), -28).arg(timer.nsecsElapsed() / 1e6, 8, 'f', 1);
        timer.restart();
    };

    timer.start();
    const QString stored = EncodeEntryList(many);
    lap("encode");
    SaveSetting(kSettingsApp, kSettingsSection, kAssetsKey, stored);
    lap("store (settings file)");
    const QString read = GetSetting(kSettingsApp, kSettingsSection, kAssetsKey, QString());
    lap("read (settings file)");
    const EntryList decoded = DecodeEntryList(read);
    lap("decode");
    EntryListModel model;
    EntryListView list(model);
    list.resize(520, 169);
    list.show();
    model.appendEntries(decoded);
    lap("fill the list");
    QCoreApplication::processEvents();
    lap("first paint");
    const EntryList back = model.entries();
    lap("read the list back");
    out << "rows " << back.size() << ", stored text " << stored.size() << " characters, "
        << (back == many ? "round trip exact" : "ROUND TRIP DIFFERS") << '\n';
    return back == many ? 0 : 1;
}
