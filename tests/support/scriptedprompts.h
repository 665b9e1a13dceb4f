#pragma once

#include "ground/prompts.h"

#include <QList>
#include <QQueue>

// Answers the program's dialogs from a script and records what was shown.
// A question, input box or save dialog that was not scripted fails the test.
// A message with an OK button only needs no script: it is answered OK.
class ScriptedPrompts : public Prompts
{
public:
    enum class Kind { Message, Input, SaveFile, SaveFileAs, OpenFile };

    struct Shown {
        Kind kind;
        QString text;        // message text, input prompt
        QString title;
        QString defaultText; // input boxes
        QString filter;      // file dialogs
        QStringList filters; // save dialogs of several types
        MsgButtons buttons = MsgButtons::Ok;
        MsgIcon icon = MsgIcon::None;
    };

    void answerMessage(MsgAnswer answer);
    void answerInput(const QString &text);
    void answerSaveFile(const QString &path);
    void answerSaveFileAs(const QString &path, const QString &filter);
    void answerOpenFile(const QString &path);
    // The next dialog of that kind throws instead of answering.
    void failNext(Kind kind, const QString &description);

    MsgAnswer message(const QString &text, MsgButtons buttons, MsgIcon icon,
                      const QString &title) override;
    QString input(const QString &prompt, const QString &title, const QString &defaultText) override;
    QString saveFileName(const QString &title, const QString &filter) override;
    SaveChoice saveFileAs(const QString &title, const QStringList &filters) override;
    QString openFileName(const QString &title, const QString &filter) override;

    QList<Shown> shown;
    // The "Application Error" boxes among the shown messages, in order.
    QStringList errorReports() const;
    bool allAnswered() const { return mScript.isEmpty(); }
    void clear() { shown.clear(); mScript.clear(); }

private:
    struct Answer {
        Kind kind;
        MsgAnswer message = MsgAnswer::Ok;
        QString text;
        bool fails = false;
        QString filter;
    };
    Answer next(Kind kind, const QString &what);

    QQueue<Answer> mScript;
};
