// Prints how much memory a hundred undo steps hold with the longest list
// (32,766 rows): a hundred edits of one row each, as "Edit Selected Entry" makes them.
#include "entries/entrylistmodel.h"
#include "entries/entrylistview.h"
#include "entries/listcommands.h"
#include "ground/prompts.h"

#include <QApplication>
#include <QTextStream>
#include <QUndoStack>

#include <malloc.h>

namespace {
class EditAnswers : public Prompts
{
public:
    MsgAnswer message(const QString &, MsgButtons, MsgIcon, const QString &) override { return MsgAnswer::Ok; }
    QString input(const QString &prompt, const QString &, const QString &) override
    {
        return prompt.contains(QLatin1String("Amount")) ? QString::number(++mAmount) : QStringLiteral("Edited");
    }
    QString saveFileName(const QString &, const QString &) override { return {}; }
    SaveChoice saveFileAs(const QString &, const QStringList &) override { return {}; }
    QString openFileName(const QString &, const QString &) override { return {}; }

private:
    int mAmount = 0;
};

double heapMegabytes()
{
    malloc_trim(0);
    const struct mallinfo2 heap = mallinfo2();
    // Large blocks are mapped on their own and counted apart.
    return (heap.uordblks + heap.hblkhd) / (1024.0 * 1024.0);
}
} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    EntryList many;
    for (int i = 1; i <= 32766; ++i)
        many.append({QStringLiteral("Asset number %1").arg(i), QString::number(i * 1000)});

    EntryListModel model;
    EntryListView list(model);
    model.appendEntries(many);
    many.clear();
    EditAnswers prompts;
    ListCommands commands(prompts, list);
    // The view lays out its rows at the first selection: not what is measured.
    list.setCurrentRow(0);
    const double before = heapMegabytes();
    for (int step = 0; step < 100; ++step) {
        list.setCurrentRow(step * 300);
        commands.editSelected();
    }
    const double after = heapMegabytes();
    QTextStream(stdout) << "undo steps " << model.undoStack()->count() << ", heap held by them "
                        << QString::number(after - before, 'f', 1) << " MB\n";
    return model.undoStack()->count() == 100 ? 0 : 1;
}
