#include "entries/listactions.h"

#include "entries/delimitedtext.h"
#include "entries/entrylistview.h"
#include "entries/incomingrows.h"
#include "entries/listchange.h"
#include "ground/failure.h"
#include "ground/filereplace.h"
#include "ground/jobcancelled.h"
#include "ground/prompts.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QStringDecoder>
#include <QUndoStack>

using namespace Qt::StringLiterals;

namespace {
const QString kPasteRows = u"Paste Rows"_s;
const QString kImportRows = u"Import Rows"_s;
// Far more than the longest list takes as text; a larger file is not a list.
constexpr qint64 kLargestImport = 256 * 1024 * 1024;

// Text files come from everywhere: UTF-8 when they are valid UTF-8, else the
// Windows code page that spreadsheets and banks there still write.
QString decodeText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder windows("windows-1252");
    return windows.isValid() ? QString(windows(bytes)) : QString::fromLatin1(bytes);
}

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
    QUndoStack *stack = list.undoStack();
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
        addRows({DelimitedText::parse(data->text())}, kPasteRows);
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
    ReadTable table;
    try {
        table = readFile(path);
    } catch (const JobCancelled &) {
        return false;
    } catch (const std::exception &e) {
        mPrompts.message(u"The file %1 could not be imported.\r\n"_s.arg(path) + QString::fromUtf8(e.what()),
                         MsgButtons::Ok, MsgIcon::Warning, kAppTitle);
        return true;
    }
    addRows(table, kImportRows);
    return true;
}

ReadTable ListActions::readFile(const QString &path)
{
    static const QStringList workbooks{u"xls"_s, u"xlsx"_s, u"ods"_s};
    if (mReadWorkbook && workbooks.contains(QFileInfo(path).suffix(), Qt::CaseInsensitive)) {
        return mReadWorkbook(path);
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(file.errorString());
    if (file.size() > kLargestImport)
        throw Failure(u"The file is larger than %1 MB."_s.arg(kLargestImport / (1024 * 1024)));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw Failure(file.errorString());
    return {DelimitedText::parse(decodeText(bytes))};
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
    for (const Entry &e : mList.entries())
        rows.append({e.label, e.amount});
    try {
        ReplaceFile(path, DelimitedText::toCsv(rows).toUtf8(), FileAccess::Document);
    } catch (const std::exception &e) {
        mPrompts.message(u"The list could not be exported to %1.\r\n"_s.arg(path) + QString::fromUtf8(e.what()),
                         MsgButtons::Ok, MsgIcon::Warning, kAppTitle);
    }
}

void ListActions::addRows(const ReadTable &table, const QString &change)
{
    // The default locale is the system's, which "Add New" reads amounts in.
    const IncomingRows rows(table, kMaxEntries - mList.rowCount(), QLocale());
    if (!rows.accepted().isEmpty()) {
        const int first = mList.rowCount();
        RecordListChange(mList, change, [&] { mList.appendEntries(rows.accepted()); });
        mList.scrollToItem(mList.topLevelItem(first));
    }
    const QString report = rows.report();
    if (!report.isEmpty())
        mPrompts.message(report, MsgButtons::Ok, MsgIcon::Warning, kAppTitle);
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
            addRows({DelimitedText::parse(drop->mimeData()->text())}, kPasteRows);
        return true;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
