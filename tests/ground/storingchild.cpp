// A program that stores for the settings tests, in a process of its own: one
// that is killed while it stores, one held to a file size limit, or one run as
// another user.
//   storingchild loop TEXT1 TEXT2       stores the two texts in turn until killed
//   storingchild store TEXT             stores the text once
//   storingchild show                   prints the stored text, "<none>" when none
//   storingchild limit BYTES settings TEXT
//   storingchild limit BYTES file PATH SIZE
// The configuration folder comes from XDG_CONFIG_HOME. A failure is printed
// on stderr and ends the program with 1.

#include "ground/filereplace.h"
#include "ground/settingsstore.h"

#include <QByteArray>
#include <QString>

#include <csignal>
#include <cstdio>
#include <exception>

#include <sys/resource.h>

int main(int argc, char **argv)
{
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    try {
        if (mode == "loop" && argc == 4) {
            const QString texts[2] = {QString::fromUtf8(argv[2]), QString::fromUtf8(argv[3])};
            for (int i = 0;; i ^= 1)
                SaveSetting(kSettingsApp, kSettingsSection, QStringLiteral("Assets"), texts[i]);
        }
        if (mode == "store" && argc == 3) {
            SaveSetting(kSettingsApp, kSettingsSection, QStringLiteral("Assets"), QString::fromUtf8(argv[2]));
            return 0;
        }
        if (mode == "show" && argc == 2) {
            const QString text = GetSetting(kSettingsApp, kSettingsSection, QStringLiteral("Assets"),
                                            QStringLiteral("<none>"));
            std::fputs(text.toUtf8().constData(), stdout);
            return 0;
        }
        if (mode == "limit" && argc >= 5) {
            // Past the limit a write fails with EFBIG instead of ending the program.
            std::signal(SIGXFSZ, SIG_IGN);
            const rlim_t limit = QByteArray(argv[2]).toULongLong();
            const rlimit bounds{limit, limit};
            setrlimit(RLIMIT_FSIZE, &bounds);
            const QByteArray what(argv[3]);
            if (what == "settings")
                SaveSetting(kSettingsApp, kSettingsSection, QStringLiteral("Assets"), QString::fromUtf8(argv[4]));
            else if (what == "file" && argc == 6)
                ReplaceFile(QString::fromLocal8Bit(argv[4]), QByteArray(QByteArray(argv[5]).toInt(), 'n'),
                            FileAccess::Document);
            return 0;
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "usage: storingchild loop TEXT1 TEXT2 | store TEXT | show\n"
                         "       | limit BYTES settings TEXT | limit BYTES file PATH SIZE\n");
    return 2;
}
