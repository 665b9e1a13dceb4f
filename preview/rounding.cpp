#include "preview/rounding.h"

#include "ground/failure.h"

#include <cmath>
#include <limits>

namespace {
template<typename T>
T roundChecked(double value)
{
    // nearbyint follows the current rounding mode, which is round-to-nearest-even
    // unless someone changed it; nothing in this program does.
    const double rounded = std::nearbyint(value);
    if (!(rounded >= std::numeric_limits<T>::min() && rounded <= std::numeric_limits<T>::max()))
        throw Failure(QStringLiteral("Overflow"));
    return static_cast<T>(rounded);
}
} // namespace

qint32 RoundToInt32(double value)
{
    return roundChecked<qint32>(value);
}

qint16 RoundToInt16(double value)
{
    return roundChecked<qint16>(value);
}

qint16 ToInt16(qint64 value)
{
    if (value < std::numeric_limits<qint16>::min() || value > std::numeric_limits<qint16>::max())
        throw Failure(QStringLiteral("Overflow"));
    return static_cast<qint16>(value);
}
