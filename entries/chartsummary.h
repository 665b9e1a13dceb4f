#pragma once

#include "entries/layer.h"

#include "entries/entry.h"

#include <QList>
#include <QLocale>
#include <QString>

// The pie chart a list makes, told as text for those who cannot see it: the
// accessible description of the preview's picture, and the text an output
// file keeps for assistive technology.

// One slice: the label as the sheet holds it and the amount as a number.
struct ChartSlice {
    QString label;
    double amount = 0;

    friend bool operator==(const ChartSlice &, const ChartSlice &) = default;
};

// The rows the chart plots, in the list's order: those whose amount is a
// number in the locale it was typed in (the others are text on the sheet,
// which the chart leaves out).
QList<ChartSlice> ChartSlices(const EntryList &entries, const QLocale &typing = QLocale::system());

// A slice's share of the pie in whole percent, as the chart's labels show it.
int ChartSliceShare(double amount, double total);

// The title, then each slice's label, amount and share in percent, in order:
// "My Assets, pie chart of 2 slices. Savings: 25,000 (31%). Car: 55,000 (69%)."
// Amounts are written in `shown`.
QString ChartSummary(const QString &title, const QList<ChartSlice> &slices, const QLocale &shown = QLocale());
