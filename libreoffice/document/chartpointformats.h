#pragma once

#include "libreoffice/layer.h"

// Internal to the adapter, as unocall.h is.

#include "libreoffice/document/sheetcharts.h"

#include <vector>

// The formats of their own that a chart's points have now, to be given back
// later. The .xls export gives each point of a pie a format of its own, with
// the values the point had already; a layout then looks every point up among
// all the formatted ones, so that a pie of tens of thousands of points is
// laid out for seconds each time. Given back, the chart draws as before, and
// laid out again, it takes a moment. To be used in engine calls.
class ChartPointFormats
{
public:
    explicit ChartPointFormats(const SheetChart &chart);

    // Each point given a format of its own since is left with the series'
    // format again; those recorded keep what they had.
    void restore() const;

private:
    struct PointFormat {
        sal_Int32 point;
        Sequence<OUString> names;
        Sequence<Any> values;
    };
    struct SeriesFormats {
        Reference<css::chart2::XDataSeries> series;
        Sequence<sal_Int32> pointsFormatted;
        std::vector<PointFormat> formats;
    };

    std::vector<SeriesFormats> mSeries;
};
