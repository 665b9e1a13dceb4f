#include "scriptedprompts.h"

#include "ground/failure.h"

#include <QTest>

namespace {
const char *kindName(ScriptedPrompts::Kind kind)
{
    switch (kind) {
    case ScriptedPrompts::Kind::Message: return "message box";
    case ScriptedPrompts::Kind::Input: return "input box";
    case ScriptedPrompts::Kind::SaveFile: return "save dialog";
    case ScriptedPrompts::Kind::SaveFileAs: return "save dialog of several types";
    case ScriptedPrompts::Kind::OpenFile: return "open dialog";
    }
    return "dialog";
}
} // namespace

void ScriptedPrompts::answerMessage(MsgAnswer answer)
{
    mScript.enqueue({Kind::Message, answer, {}, false});
}

void ScriptedPrompts::answerInput(const QString &text)
{
    mScript.enqueue({Kind::Input, MsgAnswer::Ok, text, false});
}

void ScriptedPrompts::answerSaveFile(const QString &path)
{
    mScript.enqueue({Kind::SaveFile, MsgAnswer::Ok, path, false});
}

void ScriptedPrompts::answerSaveFileAs(const QString &path, const QString &filter)
{
    mScript.enqueue({Kind::SaveFileAs, MsgAnswer::Ok, path, false, filter});
}

void ScriptedPrompts::answerOpenFile(const QString &path)
{
    mScript.enqueue({Kind::OpenFile, MsgAnswer::Ok, path, false});
}

void ScriptedPrompts::failNext(Kind kind, const QString &description)
{
    mScript.enqueue({kind, MsgAnswer::Ok, description, true});
}

ScriptedPrompts::Answer ScriptedPrompts::next(Kind kind, const QString &what)
{
    if (mScript.isEmpty() || mScript.head().kind != kind) {
        const QByteArray why = QStringLiteral("unscripted %1: %2")
                                       .arg(QString::fromLatin1(kindName(kind)), what)
                                       .toUtf8();
        QTest::qFail(why.constData(), __FILE__, __LINE__);
        return {kind, MsgAnswer::Closed, {}, false};
    }
    Answer answer = mScript.dequeue();
    if (answer.fails)
        throw Failure(answer.text);
    return answer;
}

MsgAnswer ScriptedPrompts::message(const QString &text, MsgButtons buttons, MsgIcon icon,
                                   const QString &title)
{
    shown.append({Kind::Message, text, title, {}, {}, {}, buttons, icon});
    const bool scripted = !mScript.isEmpty() && mScript.head().kind == Kind::Message;
    if (buttons == MsgButtons::Ok && !scripted)
        return MsgAnswer::Ok;
    return next(Kind::Message, text).message;
}

QString ScriptedPrompts::input(const QString &prompt, const QString &title, const QString &defaultText)
{
    shown.append({Kind::Input, prompt, title, defaultText, {}, {}, MsgButtons::Ok, MsgIcon::None});
    return next(Kind::Input, prompt).text;
}

QString ScriptedPrompts::saveFileName(const QString &title, const QString &filter)
{
    shown.append({Kind::SaveFile, {}, title, {}, filter, {}, MsgButtons::Ok, MsgIcon::None});
    return next(Kind::SaveFile, title).text;
}

SaveChoice ScriptedPrompts::saveFileAs(const QString &title, const QStringList &filters)
{
    shown.append({Kind::SaveFileAs, {}, title, {}, {}, filters, MsgButtons::Ok, MsgIcon::None});
    const Answer answer = next(Kind::SaveFileAs, title);
    return {answer.text, answer.filter};
}

QString ScriptedPrompts::openFileName(const QString &title, const QString &filter)
{
    shown.append({Kind::OpenFile, {}, title, {}, filter, {}, MsgButtons::Ok, MsgIcon::None});
    return next(Kind::OpenFile, title).text;
}

QStringList ScriptedPrompts::errorReports() const
{
    QStringList reports;
    for (const Shown &s : shown) {
        if (s.kind == Kind::Message && s.title == QLatin1String("Application Error"))
            reports.append(s.text);
    }
    return reports;
}
