#pragma once

#include "preview/layer.h"

#include <QtGlobal>

// The scroll arithmetic rounds to the nearest whole number with halves going to
// the even neighbour (61.5 -> 62, 12.5 -> 12, 13.5 -> 14). qRound would send
// halves away from zero and shift some bar positions by one step.
// The conversions are checked: a value outside the target range throws a
// Failure ("Overflow") instead of wrapping.

qint32 RoundToInt32(double value);
qint16 RoundToInt16(double value);
qint16 ToInt16(qint64 value);
