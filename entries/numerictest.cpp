#include "entries/numerictest.h"

#include "entries/entrycodec.h"

#include <cmath>

bool IsNumeric(const QString &text, const QLocale &locale)
{
    bool ok = false;
    const double value = locale.toDouble(text, &ok);
    return ok && std::isfinite(value);
}

bool IsAcceptedLabel(const QString &label)
{
    return !label.isEmpty() && label.size() <= kMaxCellText && !HoldsSeparator(label);
}

bool IsAcceptedAmount(const QString &amount, const QLocale &locale)
{
    return IsNumeric(amount, locale) && !HoldsSeparator(amount);
}
