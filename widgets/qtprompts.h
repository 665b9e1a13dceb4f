#pragma once

#include "widgets/layer.h"

#include "ground/prompts.h"

#include <QString>

class QWidget;

// The real dialogs.
class QtPrompts : public Prompts
{
public:
    MsgAnswer message(const QString &text, MsgButtons buttons, MsgIcon icon,
                      const QString &title) override;
    QString input(const QString &prompt, const QString &title, const QString &defaultText) override;
    QString saveFileName(const QString &title, const QString &filter) override;
    SaveChoice saveFileAs(const QString &title, const QStringList &filters) override;
    QString openFileName(const QString &title, const QString &filter) override;

private:
    static QWidget *parentWindow();
    // The file dialogs open where the user last chose a file in this run, at
    // first in the home folder, never in whatever folder the program was
    // started from.
    QString startFolder() const;
    void rememberFolder(const QString &chosenPath);

    QString mLastFolder;
};
