#include "entries/entrylistview.h"

#include "ground/failure.h"

#include <QHeaderView>
#include <QUndoStack>

namespace {
constexpr int kLabelColumn = 0;
constexpr int kAmountColumn = 1;

QTreeWidgetItem *checkedRow(QTreeWidgetItem *row)
{
    if (!row)
        throw Failure(QStringLiteral("Object variable not set: there is no such row."));
    return row;
}
} // namespace

EntryListView::EntryListView(QWidget *parent)
    : QTreeWidget(parent)
    , mUndoStack(new QUndoStack(this))
{
    // Each step keeps the whole list twice; a hundred steps of the longest
    // list still fit in a few hundred megabytes.
    mUndoStack->setUndoLimit(100);
    setColumnCount(2);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setSortingEnabled(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    // Every row has one line of text; knowing that keeps tens of thousands of rows cheap.
    setUniformRowHeights(true);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    // Moving over the list changes no pointer: without this, Qt would hand
    // the untracked movement on to the window's own surface.
    setAttribute(Qt::WA_NoMousePropagation);
}

Entry EntryListView::entryAt(int position) const
{
    if (position < 1 || position > rowCount())
        throw Failure(QStringLiteral("Index out of bounds"));
    const QTreeWidgetItem *row = topLevelItem(position - 1);
    return {label(row), amount(row)};
}

EntryList EntryListView::entries() const
{
    EntryList all;
    all.reserve(rowCount());
    for (int i = 0; i < rowCount(); ++i) {
        const QTreeWidgetItem *row = topLevelItem(i);
        all.append({label(row), amount(row)});
    }
    return all;
}

void EntryListView::appendEntries(const EntryList &entries)
{
    QList<QTreeWidgetItem *> rows;
    rows.reserve(entries.size());
    for (const Entry &e : entries)
        rows.append(new QTreeWidgetItem(QStringList{e.label, e.amount}));
    const bool updates = updatesEnabled();
    setUpdatesEnabled(false);
    addTopLevelItems(rows);
    setUpdatesEnabled(updates);
}

void EntryListView::replaceEntries(const EntryList &entries, int current)
{
    clear();
    appendEntries(entries);
    if (current >= 0 && current < rowCount())
        setCurrentItem(topLevelItem(current));
}

QTreeWidgetItem *EntryListView::appendRow(const QString &label)
{
    auto *row = new QTreeWidgetItem(QStringList{label});
    addTopLevelItem(row);
    return row;
}

void EntryListView::setAmount(QTreeWidgetItem *row, const QString &amount)
{
    checkedRow(row)->setText(kAmountColumn, amount);
}

void EntryListView::setLabel(QTreeWidgetItem *row, const QString &label)
{
    checkedRow(row)->setText(kLabelColumn, label);
}

QTreeWidgetItem *EntryListView::selectedRow() const
{
    const QList<QTreeWidgetItem *> selected = selectedItems();
    if (selected.isEmpty())
        throw Failure(QStringLiteral("Object variable not set: no row is selected."));
    return selected.constFirst();
}

void EntryListView::removeRow(QTreeWidgetItem *row)
{
    delete takeTopLevelItem(indexOfTopLevelItem(checkedRow(row)));
}

QString EntryListView::label(const QTreeWidgetItem *row)
{
    return row->text(kLabelColumn);
}

QString EntryListView::amount(const QTreeWidgetItem *row)
{
    return row->text(kAmountColumn);
}
