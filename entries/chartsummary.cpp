#include "entries/chartsummary.h"

#include "entries/numerictest.h"

#include <cmath>

QList<ChartSlice> ChartSlices(const EntryList &entries, const QLocale &typing)
{
    QList<ChartSlice> slices;
    for (const Entry &entry : entries) {
        if (IsNumeric(entry.amount, typing))
            slices.append({CellText(entry.label), typing.toDouble(entry.amount)});
    }
    return slices;
}

// The pie is drawn from the amounts' sizes: a negative amount makes a slice
// as large as its positive. The labels' percent format rounds halves away
// from zero, after the product is taken to 15 significant digits, so that
// 14.499999999999998 (29 of 200) is shown as the 15 it stands for.
int ChartSliceShare(double amount, double total)
{
    if (!(total > 0))
        return 0;
    const double percent = std::fabs(amount) / total * 100.0;
    return int(std::round(QString::number(percent, 'g', 15).toDouble()));
}

QString ChartSummary(const QString &title, const QList<ChartSlice> &slices, const QLocale &shown)
{
    double total = 0;
    for (const ChartSlice &slice : slices)
        total += std::fabs(slice.amount);
    QString text = slices.size() == 1 ? QStringLiteral("%1, pie chart of 1 slice.").arg(title)
                                      : QStringLiteral("%1, pie chart of %2 slices.").arg(title).arg(slices.size());
    for (const ChartSlice &slice : slices) {
        text += QStringLiteral(" %1: %2 (%3%).")
                        .arg(slice.label, shown.toString(slice.amount, 'f', QLocale::FloatingPointShortest))
                        .arg(ChartSliceShare(slice.amount, total));
    }
    return text;
}
