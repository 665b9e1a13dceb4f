#include "entries/entrylistmodel.h"

#include "entries/entrycodec.h"
#include "entries/listchange.h"
#include "entries/sampleentries.h"
#include "ground/failure.h"
#include "ground/prompts.h"
#include "ground/settingsstore.h"

#include <QFileInfo>
#include <QUndoStack>

using namespace Qt::StringLiterals;

namespace {
constexpr int kLabelColumn = 0;
constexpr int kAmountColumn = 1;
} // namespace

EntryListModel::EntryListModel(QObject *parent)
    : QAbstractTableModel(parent)
    , mUndoStack(new QUndoStack(this))
{
    // A step keeps only the rows it changed; the steps that replace the whole
    // list keep it once more, which a hundred of the longest lists still fits.
    mUndoStack->setUndoLimit(100);
}

EntryListModel::~EntryListModel()
{
    delete mChange;
}

int EntryListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(mRows.size());
}

int EntryListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant EntryListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= mRows.size() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    const Entry &entry = mRows.at(index.row());
    return index.column() == kLabelColumn ? entry.label : entry.amount;
}

QVariant EntryListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section < mHeaderLabels.size())
        return mHeaderLabels.at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

void EntryListModel::setHeaderLabels(const QStringList &labels)
{
    mHeaderLabels = labels;
    emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

Entry EntryListModel::entryAt(int position) const
{
    if (position < 1 || position > mRows.size())
        throw Failure(u"Index out of bounds"_s);
    return mRows.at(position - 1);
}

void EntryListModel::checkRow(int row) const
{
    if (row < 0 || row >= mRows.size())
        throw Failure(u"Object variable not set: there is no such row."_s);
}

void EntryListModel::appendEntries(const EntryList &entries)
{
    if (entries.isEmpty())
        return;
    const int row = int(mRows.size());
    insertEntries(row, entries);
    if (mChange)
        mChange->rowsInserted(row, entries);
}

int EntryListModel::appendRow(const QString &label)
{
    const int row = int(mRows.size());
    appendEntries({{label, QString()}});
    return row;
}

void EntryListModel::setAmount(int row, const QString &amount)
{
    checkRow(row);
    const Entry before = mRows.at(row);
    if (before.amount == amount)
        return;
    replaceEntry(row, {before.label, amount});
    if (mChange)
        mChange->rowEdited(row, before, mRows.at(row));
}

void EntryListModel::setLabel(int row, const QString &label)
{
    checkRow(row);
    const Entry before = mRows.at(row);
    if (before.label == label)
        return;
    replaceEntry(row, {label, before.amount});
    if (mChange)
        mChange->rowEdited(row, before, mRows.at(row));
}

void EntryListModel::removeEntry(int row)
{
    checkRow(row);
    const Entry removed = mRows.at(row);
    removeEntries(row, 1);
    if (mChange)
        mChange->rowsRemoved(row, {removed});
}

void EntryListModel::clear()
{
    if (mRows.isEmpty())
        return;
    const EntryList before = mRows;
    resetEntries({});
    if (mChange)
        mChange->listReplaced(before, {});
}

void EntryListModel::insertEntries(int row, const EntryList &entries)
{
    beginInsertRows({}, row, row + int(entries.size()) - 1);
    mRows.insert(row, entries.size(), Entry());
    std::copy(entries.cbegin(), entries.cend(), mRows.begin() + row);
    endInsertRows();
    changed();
}

void EntryListModel::removeEntries(int row, int count)
{
    beginRemoveRows({}, row, row + count - 1);
    mRows.remove(row, count);
    endRemoveRows();
    changed();
}

void EntryListModel::replaceEntry(int row, const Entry &entry)
{
    mRows[row] = entry;
    emit dataChanged(index(row, kLabelColumn), index(row, kAmountColumn));
    changed();
}

void EntryListModel::resetEntries(const EntryList &entries)
{
    beginResetModel();
    mRows = entries;
    endResetModel();
    changed();
}

void EntryListModel::beginChange(ListChange *change)
{
    delete mChange;
    mChange = change;
}

void EntryListModel::endChange(int currentRow)
{
    ListChange *change = std::exchange(mChange, nullptr);
    if (!change || !change->changedAnyRow()) {
        delete change;
        return;
    }
    change->setCurrentAfter(currentRow);
    mUndoStack->push(change);
}

void EntryListModel::store()
{
    SaveSetting(kSettingsApp, kSettingsSection, kAssetsKey, EncodeEntryList(mRows));
    mStorePending = false;
    mFailureTold = false;
    emit stored();
}

void EntryListModel::storeEachChange(Prompts &prompts)
{
    mPrompts = &prompts;
}

QString EntryListModel::notStoredText(const std::exception &why)
{
    const bool storedBefore = QFileInfo::exists(SettingsFilePath(kSettingsApp));
    return (storedBefore ? u"Your list could not be saved; the list stored before is kept.\r\n"_s
                         : u"Your list could not be saved.\r\n"_s)
            + QString::fromUtf8(why.what());
}

// The last step of every change: the store itself waits for the end of the
// event-loop turn, so that a paste of many rows, or a command's several
// steps, is one store.
void EntryListModel::changed()
{
    if (!mPrompts || mStorePending)
        return;
    mStorePending = true;
    QMetaObject::invokeMethod(this, &EntryListModel::storeWhatChanged, Qt::QueuedConnection);
}

void EntryListModel::storeWhatChanged()
{
    if (!mStorePending)
        return;
    try {
        store();
    } catch (const std::exception &e) {
        mStorePending = false;
        if (!std::exchange(mFailureTold, true))
            mPrompts->message(notStoredText(e), MsgButtons::Ok, MsgIcon::Warning, kAppTitle);
    }
}
