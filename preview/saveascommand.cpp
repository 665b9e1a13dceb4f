#include "preview/saveascommand.h"

#include "ground/filereplace.h"
#include "ground/prompts.h"
#include "widgets/progressjob.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

void SaveAsCommand::run(const QString &title, const QList<SaveType> &types)
{
    QStringList filters;
    for (const SaveType &type : types)
        filters.append(type.filter);
    const SaveChoice choice = mPrompts.saveFileAs(title, filters);
    if (choice.path.isEmpty())
        return;
    const Target chosen = target(choice.path, choice.filter, types);
    if (!mayWrite(chosen.path))
        return;
    write(chosen.path, types.at(chosen.type));
}

SaveAsCommand::Target SaveAsCommand::target(const QString &path, const QString &filter,
                                            const QList<SaveType> &types)
{
    const QString typed = QFileInfo(path).suffix();
    for (int i = 0; i < types.size(); ++i) {
        if (!typed.isEmpty() && typed.compare(types.at(i).suffix, Qt::CaseInsensitive) == 0)
            return {path, i};
    }
    int chosen = 0;
    for (int i = 0; i < types.size(); ++i) {
        if (types.at(i).filter == filter)
            chosen = i;
    }
    // "name." already has the dot the suffix needs.
    const QString dot = path.endsWith(QLatin1Char('.')) ? QString() : QStringLiteral(".");
    return {path + dot + types.at(chosen).suffix, chosen};
}

bool SaveAsCommand::mayWrite(const QString &path)
{
    if (!QFileInfo(path).exists())
        return true;
    const QString question = QStringLiteral("%1 already exists.\nDo you want to replace it?")
                                     .arg(QDir::toNativeSeparators(path));
    return mPrompts.message(question, MsgButtons::YesNo, MsgIcon::Warning) == MsgAnswer::Yes;
}

void SaveAsCommand::write(const QString &path, const SaveType &type)
{
    try {
        // The content is made whole before the old file is touched: a
        // conversion that fails leaves nothing behind.
        const QByteArray content = type.content();
        ReplaceFile(FollowLinks(path), content, FileAccess::Document, FileOwnership::Kept);
    } catch (const JobCancelled &) {
        // The user stopped it: nothing was written, and nothing is to be said.
    } catch (const std::exception &e) {
        mPrompts.message(QStringLiteral("%1 could not be saved.\n%2")
                                 .arg(QDir::toNativeSeparators(path), QString::fromUtf8(e.what())),
                         MsgButtons::Ok, MsgIcon::Warning);
    }
}
