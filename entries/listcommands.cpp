#include "entries/listcommands.h"

#include "entries/entrylistmodel.h"
#include "entries/entrylistview.h"
#include "entries/listchange.h"
#include "entries/numerictest.h"
#include "entries/sampleentries.h"
#include "ground/guard.h"
#include "ground/prompts.h"

using namespace Qt::StringLiterals;

EntryListModel &ListCommands::entries()
{
    return mList.entryModel();
}

void ListCommands::addNew()
{
    RecordListChange(mList, u"Add New"_s, [this] { addNewSteps(); });
}

void ListCommands::addNewSteps()
{
    Guard g(mPrompts, u"in Quintarra7/29/2014.Form1.PushButton2_Click "_s);
    QString label, amount;
    int row = -1;
    g.run(100, [&] { label = mPrompts.input(u"Enter Asset Type:"_s, u"Input Asset Type"_s, {}); });
    if (g.stopIf(102, [&] { return !IsAcceptedLabel(label); }))
        return;
    g.run(104, [&] { amount = mPrompts.input(u"Enter Amount:"_s, u"Input Amount"_s, {}); });
    if (g.stopIf(106, [&] { return !IsAcceptedAmount(amount); }))
        return;
    g.run(108, [&] { row = entries().appendRow(label); });
    g.run(110, [&] { entries().setAmount(row, amount); });
}

void ListCommands::deleteSelected()
{
    RecordListChange(mList, u"Delete Selected Entry"_s, [this] { deleteSelectedSteps(); });
}

void ListCommands::deleteSelectedSteps()
{
    Guard g(mPrompts, u"in Quintarra7/29/2014.Form1.PushButton3_Click "_s);
    if (g.stopIf(100, [&] { return entries().rowCount() == 0; }))
        return;
    g.run(102, [&] { entries().removeEntry(mList.selectedRow()); });
}

void ListCommands::editSelected()
{
    RecordListChange(mList, u"Edit Selected Entry"_s, [this] { editSelectedSteps(); });
}

void ListCommands::editSelectedSteps()
{
    Guard g(mPrompts, u"in Quintarra7/29/2014.Form1.PushButton4_Click "_s);
    QString label, amount;
    if (g.stopIf(100, [&] { return entries().rowCount() == 0; }))
        return;
    g.run(102, [&] {
        label = mPrompts.input(u"Enter New Asset Type:"_s, u"Input New Asset Type"_s,
                               entries().entryAt(mList.selectedRow() + 1).label);
    });
    if (g.stopIf(104, [&] { return !IsAcceptedLabel(label); }))
        return;
    g.run(106, [&] {
        amount = mPrompts.input(u"Enter New Amount:"_s, u"Input New Amount"_s,
                                entries().entryAt(mList.selectedRow() + 1).amount);
    });
    if (g.stopIf(108, [&] { return !IsAcceptedAmount(amount); }))
        return;
    g.run(110, [&] { entries().setLabel(mList.selectedRow(), label); });
    g.run(112, [&] { entries().setAmount(mList.selectedRow(), amount); });
}

void ListCommands::clear()
{
    RecordListChange(mList, u"Clear List"_s, [this] { clearSteps(); });
}

void ListCommands::clearSteps()
{
    Guard g(mPrompts, u"in Quintarra7/29/2014.Form1.PushButton5_Click "_s);
    g.run(100, [&] { entries().clear(); });
}

void ListCommands::loadSample()
{
    RecordListChange(mList, u"Load Sample/Example Data"_s, [this] { loadSampleSteps(); });
}

void ListCommands::loadSampleSteps()
{
    Guard g(mPrompts, u"in Quintarra7/29/2014.Form1.PushButton7_Click "_s);
    g.run(100, [&] { entries().clear(); });
    // Two statements per row, 102 to 124: append the row with its label, then set its amount.
    int statement = 102;
    for (const Entry &sample : SampleEntries()) {
        int row = -1;
        g.run(statement, [&] { row = entries().appendRow(sample.label); });
        g.run(statement + 2, [&] { entries().setAmount(row, sample.amount); });
        statement += 4;
    }
}
