#include "libreoffice/document/chartpointformats.h"

#include <com/sun/star/beans/XMultiPropertySet.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/beans/XPropertyState.hpp>

ChartPointFormats::ChartPointFormats(const SheetChart &chart)
{
    for (const auto &series : ChartSeries(chart)) {
        SeriesFormats recorded{series, PointsWithOwnFormat(series), {}};
        for (const sal_Int32 point : recorded.pointsFormatted) {
            const Reference<css::beans::XPropertySet> format = series->getDataPointByIndex(point);
            const Reference<css::beans::XPropertyState> state(format, UNO_QUERY_THROW);
            const Sequence<OUString> all = [&] {
                Sequence<OUString> names;
                const auto properties = format->getPropertySetInfo()->getProperties();
                names.realloc(properties.getLength());
                for (sal_Int32 i = 0; i < properties.getLength(); ++i)
                    names.getArray()[i] = properties[i].Name;
                return names;
            }();
            const auto states = state->getPropertyStates(all);
            std::vector<OUString> set;
            for (sal_Int32 i = 0; i < all.getLength(); ++i) {
                if (states[i] == css::beans::PropertyState_DIRECT_VALUE)
                    set.push_back(all[i]);
            }
            const Sequence<OUString> names(set.data(), sal_Int32(set.size()));
            const Reference<css::beans::XMultiPropertySet> values(format, UNO_QUERY_THROW);
            recorded.formats.push_back({point, names, values->getPropertyValues(names)});
        }
        mSeries.push_back(std::move(recorded));
    }
}

void ChartPointFormats::restore() const
{
    for (const SeriesFormats &recorded : mSeries) {
        if (PointsWithOwnFormat(recorded.series) == recorded.pointsFormatted)
            continue;
        // One call for all the points, and a few for each recorded one: one
        // call for each of thousands would take longer than the layouts.
        recorded.series->resetAllDataPoints();
        for (const PointFormat &format : recorded.formats) {
            const Reference<css::beans::XMultiPropertySet> point(recorded.series->getDataPointByIndex(format.point),
                                                                 UNO_QUERY_THROW);
            point->setPropertyValues(format.names, format.values);
        }
    }
}
