#pragma once

#include "chart/layer.h"

#include <QLocale>
#include <QString>

class ChartHost;

// A list kept under one number format and charted under another ("1,5" stored
// under de_DE, charted under en_US) has amounts the engine cannot read as
// numbers. It writes them as text, and the pie leaves those rows out without a
// trace; the user has to hear it before the chart is made.

// The notice naming the rows whose amount is not a number in locale, or the
// empty text when every amount is one. Long lists name the first rows only.
QString AmountsNotNumbersNotice(ChartHost &host, const QLocale &locale);
