#include "entries/sampleentries.h"

EntryList SampleEntries()
{
    return {
        {QStringLiteral("Savings"), QStringLiteral("25000")},
        {QStringLiteral("401k"), QStringLiteral("55000")},
        {QStringLiteral("Stocks"), QStringLiteral("15000")},
        {QStringLiteral("House"), QStringLiteral("250000")},
        {QStringLiteral("Bonds"), QStringLiteral("11000")},
        {QStringLiteral("Car"), QStringLiteral("7500")},
    };
}
