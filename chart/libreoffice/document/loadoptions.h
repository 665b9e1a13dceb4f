#pragma once

#include "chart/libreoffice/layer.h"

#include "chart/libreoffice/unocall.h"

#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>

#include <algorithm>
#include <initializer_list>

// How every document is loaded: hidden, and nothing in the file may run or
// fetch anything. A template opens as an untitled copy of itself. Further
// options (read-only, say) follow these.
inline Sequence<css::beans::PropertyValue> HiddenLoadOptions(std::initializer_list<css::beans::PropertyValue> more = {})
{
    Sequence<css::beans::PropertyValue> options = properties({
            property("Hidden", Any(true)),
            property("MacroExecutionMode", Any(css::document::MacroExecMode::NEVER_EXECUTE)),
            property("UpdateDocMode", Any(css::document::UpdateDocMode::NO_UPDATE)),
    });
    const sal_Int32 fixed = options.getLength();
    options.realloc(fixed + sal_Int32(more.size()));
    std::copy(more.begin(), more.end(), options.getArray() + fixed);
    return options;
}
