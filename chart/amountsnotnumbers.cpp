#include "chart/amountsnotnumbers.h"

#include "chart/charthost.h"
#include "entries/numerictest.h"

namespace {

// Enough to recognise the mistake; a box taller than the screen helps nobody.
constexpr int kRowsNamed = 10;

// A label can be a page long; the notice needs only enough of it to find the row.
QString shortened(const QString &text)
{
    constexpr int kShownCharacters = 40;
    return text.size() <= kShownCharacters ? text : text.left(kShownCharacters - 1) + QChar(0x2026);
}

} // namespace

QString AmountsNotNumbersNotice(ChartHost &host, const QLocale &locale)
{
    QStringList named;
    int notNumbers = 0;
    const int count = host.entryCount();
    for (int position = 1; position <= count; ++position) {
        const Entry entry = host.entryAt(position);
        if (IsNumeric(entry.amount, locale))
            continue;
        if (++notNumbers <= kRowsNamed)
            named.append(QStringLiteral("Row %1, %2: %3")
                                 .arg(QString::number(position), shortened(entry.label), shortened(entry.amount)));
    }
    if (notNumbers == 0)
        return QString();
    if (notNumbers > kRowsNamed)
        named.append(QStringLiteral("... and %1 more.").arg(notNumbers - kRowsNamed));
    const QString example = locale.toString(1234.5, 'f', 2);
    const QString what = notNumbers == 1
            ? QStringLiteral("One amount of the list is not a number in the current number format "
                             "(which writes, for instance, %1), so the chart leaves its row out:")
                      .arg(example)
            : QStringLiteral("%1 amounts of the list are not numbers in the current number format "
                             "(which writes, for instance, %2), so the chart leaves their rows out:")
                      .arg(QString::number(notNumbers), example);
    return what + QStringLiteral("\r\n") + named.join(QStringLiteral("\r\n"));
}
