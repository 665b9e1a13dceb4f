#pragma once

#include <QString>
#include <QStringList>

// Every modal question or message the program shows goes through this seam,
// so that tests can script the answers and read what was shown.

enum class MsgButtons { Ok, YesNo };
enum class MsgIcon { None, Warning };
// Closed means the box was closed without pressing one of its buttons.
enum class MsgAnswer { Ok, Yes, No, Closed };

inline const QString kAppTitle = QStringLiteral("Quintarra");

// What a save dialog offering several file types answers: the path as the user
// gave it and the filter chosen when the dialog closed; both empty on cancel.
struct SaveChoice {
    QString path;
    QString filter;
};

class Prompts
{
public:
    virtual ~Prompts() = default;

    virtual MsgAnswer message(const QString &text, MsgButtons buttons = MsgButtons::Ok,
                              MsgIcon icon = MsgIcon::None, const QString &title = kAppTitle) = 0;
    // Answers the typed text, or the empty text when the user cancels.
    virtual QString input(const QString &prompt, const QString &title,
                          const QString &defaultText = QString()) = 0;
    // Answers the chosen path exactly as the user gave it, or the empty text on cancel.
    // The dialog neither adds a suffix nor asks about overwriting: the caller does.
    virtual QString saveFileName(const QString &title, const QString &filter) = 0;
    // The same with a filter for each type offered, the first chosen at the start.
    virtual SaveChoice saveFileAs(const QString &title, const QStringList &filters) = 0;
    // Answers the path of an existing file the user chose, or the empty text on cancel.
    virtual QString openFileName(const QString &title, const QString &filter) = 0;
};
