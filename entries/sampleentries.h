#pragma once

#include "entries/layer.h"

#include "entries/entry.h"

#include <QString>

// The six rows a first start shows and "Load Sample/Example Data" puts back.
EntryList SampleEntries();

// What start-up decodes when nothing is stored: the sample rows in the stored
// form, without the final "||SEP2||" (decoding does not need it).
inline const QString kDefaultAssetsText = QStringLiteral(
        "Savings||SEP1||25000||SEP2||401k||SEP1||55000||SEP2||Stocks||SEP1||15000||SEP2||"
        "House||SEP1||250000||SEP2||Bonds||SEP1||11000||SEP2||Car||SEP1||7500");

inline const QString kAssetsKey = QStringLiteral("Assets");
