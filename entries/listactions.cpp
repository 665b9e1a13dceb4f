#include "entries/listactions.h"

#include "entries/delimitedtext.h"
#include "entries/delimitedtextparser.h"
#include "entries/entrylistmodel.h"
#include "entries/entrylistview.h"
#include "entries/incomingrows.h"
#include "entries/listchange.h"
#include "entries/textfileimport.h"
#include "ground/filereplace.h"
#include "ground/jobcancelled.h"
#include "ground/prompts.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUndoStack>

#include <optional>

using namespace Qt::StringLiterals;

namespace {
const QString kPasteRows = u"Paste Rows"_s;
const QString kImportRows = u"Import Rows"_s;

QStringList droppedFiles(const QMimeData *data)
{
    QStringList files;
    if (!data)
        return files;
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile())
            files.append(url.toLocalFile());
    }
    return files;
}
} // namespace

ListActions::ListActions(Prompts &prompts, EntryListView &list)
    : QObject(&list)
    , mPrompts(prompts)
    , mList(list)
{
    QUndoStack *stack = list.entryModel().undoStack();
    mUndo = stack->createUndoAction(&list, u"Undo"_s);
    mUndo->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Z)});
    mRedo = stack->createRedoAction(&list, u"Redo"_s);
    mRedo->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    for (QAction *action : {mUndo, mRedo}) {
        action->setShortcutVisibleInContextMenu(true);
        list.addAction(action);
    }
    auto *separator = new QAction(&list);
    separator->setSeparator(true);
    list.addAction(separator);
    mPaste = addAction(kPasteRows, {QKeySequence(Qt::CTRL | Qt::Key_V)});
    mImport = addAction(u"Import Rows…"_s, {QKeySequence(Qt::CTRL | Qt::Key_O)});
    mExport = addAction(u"Export List As CSV…"_s, {QKeySequence(Qt::CTRL | Qt::Key_E)});
    connect(mPaste, &QAction::triggered, this, &ListActions::pasteRows);
    connect(mImport, &QAction::triggered, this, &ListActions::importRows);
    connect(mExport, &QAction::triggered, this, &ListActions::exportList);

    list.setContextMenuPolicy(Qt::ActionsContextMenu);
    // The menu shows nowhere until asked for; the hint tells it is there.
    list.setToolTip(u"Right-click or press the Menu key to undo, paste, import or export rows"_s);
    list.viewport()->setAcceptDrops(true);
    list.viewport()->installEventFilter(this);
}

QAction *ListActions::addAction(const QString &text, const QList<QKeySequence> &shortcuts)
{
    auto *action = new QAction(text, &mList);
    action->setShortcuts(shortcuts);
    action->setShortcutVisibleInContextMenu(true);
    mList.addAction(action);
    return action;
}

void ListActions::pasteRows()
{
    const QMimeData *data = QApplication::clipboard()->mimeData();
    if (data && data->hasText())
        addRows(rowsOf(data->text()), kPasteRows);
}

void ListActions::importRows()
{
    const QString path = mPrompts.openFileName(
            u"Import Rows"_s, mReadWorkbook ? u"Lists (*.csv *.txt *.xls *.xlsx *.ods);;All Files (*)"_s
                                            : u"Lists (*.csv *.txt);;All Files (*)"_s);
    if (!path.isEmpty())
        importFile(path);
}

bool ListActions::importFile(const QString &path)
{
    std::optional<IncomingRows> rows;
    QString note;
    try {
        if (isWorkbook(path)) {
            rows.emplace(mReadWorkbook(path), room(), QLocale());
        } else {
            const TextFileImport text(path, room(), QLocale());
            rows.emplace(text.rows());
            if (!text.fallbackUsed().isEmpty())
                note = u"The file %1 is not UTF-8 text; it was read as %2, the system's encoding."_s.arg(
                        path, text.fallbackUsed());
        }
    } catch (const JobCancelled &) {
        return false;
    } catch (const std::exception &e) {
        mPrompts.message(u"The file %1 could not be imported.\r\n"_s.arg(path) + QString::fromUtf8(e.what()),
                         MsgButtons::Ok, MsgIcon::Warning, kAppTitle);
        return true;
    }
    addRows(*rows, kImportRows, note);
    return true;
}

bool ListActions::isWorkbook(const QString &path) const
{
    static const QStringList workbooks{u"xls"_s, u"xlsx"_s, u"ods"_s};
    return mReadWorkbook && workbooks.contains(QFileInfo(path).suffix(), Qt::CaseInsensitive);
}

qsizetype ListActions::room() const
{
    return kMaxEntries - mList.entryModel().rowCount();
}

// The default locale is the system's, which "Add New" reads amounts in.
IncomingRows ListActions::rowsOf(const QString &text) const
{
    IncomingRows rows(room(), QLocale());
    DelimitedTextParser parser(DelimitedText::detectSeparator(text),
                               [&rows](QStringList &&row) { return rows.add(row); });
    if (parser.feed(text))
        parser.finish();
    rows.finish();
    return rows;
}

void ListActions::exportList()
{
    QString path = mPrompts.saveFileName(u"Export List As CSV"_s, u"CSV Files (*.csv)"_s);
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += u".csv"_s;
    if (QFileInfo::exists(path)
        && mPrompts.message(u"Are you sure you wish to overwrite "_s + path + u" ?"_s, MsgButtons::YesNo,
                            MsgIcon::None, kAppTitle) != MsgAnswer::Yes)
        return;
    QList<QStringList> rows{{u"Label"_s, u"Number (Value)"_s}};
    for (const Entry &e : mList.entryModel().entries())
        rows.append({e.label, e.amount});
    try {
        // Run by root with a user's home, the export there is the user's.
        ReplaceFile(path, DelimitedText::toCsv(rows).toUtf8(), FileAccess::Document, FileOwnership::Kept);
    } catch (const std::exception &e) {
        mPrompts.message(u"The list could not be exported to %1.\r\n"_s.arg(path) + QString::fromUtf8(e.what()),
                         MsgButtons::Ok, MsgIcon::Warning, kAppTitle);
    }
}

void ListActions::addRows(const IncomingRows &rows, const QString &change, const QString &note)
{
    EntryListModel &entries = mList.entryModel();
    if (!rows.accepted().isEmpty()) {
        const int first = entries.rowCount();
        RecordListChange(mList, change, [&] { entries.appendEntries(rows.accepted()); });
        mList.scrollTo(entries.index(first, 0));
    }
    QStringList said{note, rows.report()};
    said.removeAll(QString());
    if (!said.isEmpty())
        mPrompts.message(said.join(u"\r\n"_s), MsgButtons::Ok, MsgIcon::Warning, kAppTitle);
}

bool ListActions::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDropEvent *>(event);
        if (drag->mimeData()->hasText() || !droppedFiles(drag->mimeData()).isEmpty()) {
            drag->acceptProposedAction();
            return true;
        }
        break;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        drop->acceptProposedAction();
        const QStringList files = droppedFiles(drop->mimeData());
        // Each file is its own step, with its own account of skipped rows; a
        // cancel stops the files after it too.
        for (const QString &path : files) {
            if (!importFile(path))
                break;
        }
        if (files.isEmpty() && drop->mimeData()->hasText())
            addRows(rowsOf(drop->mimeData()->text()), kPasteRows);
        return true;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
