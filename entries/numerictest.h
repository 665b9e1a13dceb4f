#pragma once

#include "entries/layer.h"

#include <QLocale>
#include <QString>

// Whether an amount the user typed counts as a number: the locale's conversion
// must accept the whole text (sign, decimal and grouping separators, exponent,
// blanks around it). The empty text, infinities and NaN are not numbers.
bool IsNumeric(const QString &text, const QLocale &locale = QLocale::system());

// What the editing commands accept. A label of blanks is a label; a separator
// of the stored form is refused, because the list would not come back from it,
// and so is a label longer than a spreadsheet cell holds.
bool IsAcceptedLabel(const QString &label);
bool IsAcceptedAmount(const QString &amount, const QLocale &locale = QLocale::system());
