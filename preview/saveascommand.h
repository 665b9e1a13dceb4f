#pragma once

#include "preview/layer.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

class Prompts;

// One file type a "Save As" dialog offers: the filter the dialog shows, the
// suffix its files take, and what makes a file's content (throwing with the
// reason when it cannot, or JobCancelled when the user stopped it).
struct SaveType {
    QString filter;
    QString suffix;
    std::function<QByteArray()> content;
};

// A "Save As" of the preview's results, as a desktop office program does it:
// the platform's save dialog with a filter per type; the type the typed suffix
// names, else the chosen filter's, whose suffix is then added; a question
// before an existing file is replaced; and the file replaced only once the new
// content is whole on the disk, links and owner kept. A failure is told in one
// message with its reason, and leaves an existing file as it was.
class SaveAsCommand
{
public:
    explicit SaveAsCommand(Prompts &prompts) : mPrompts(prompts) {}

    void run(const QString &title, const QList<SaveType> &types);

    struct Target {
        QString path;
        int type = -1;   // index into the offered types
    };
    // Where the dialog's answer goes and as which type.
    static Target target(const QString &path, const QString &filter, const QList<SaveType> &types);

private:
    bool mayWrite(const QString &path);
    void write(const QString &path, const SaveType &type);

    Prompts &mPrompts;
};
