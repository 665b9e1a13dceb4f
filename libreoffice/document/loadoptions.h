#pragma once

#include "libreoffice/layer.h"

#include "libreoffice/document/session.h"
#include "libreoffice/unocall.h"

#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/lang/XComponent.hpp>

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

// Opens a file in the instance with those options. To be called in an engine
// call; throws SpreadsheetError when the engine gives no document back.
inline Reference<css::lang::XComponent> LoadHidden(EngineProcess &engine, const QString &path,
                                                    std::initializer_list<css::beans::PropertyValue> more = {})
{
    const Reference<css::frame::XComponentLoader> loader(engine.connection().desktop, UNO_QUERY_THROW);
    const auto component = loader->loadComponentFromURL(fileUrl(path), OUString("_blank"), 0, HiddenLoadOptions(more));
    if (!component.is())
        throw SpreadsheetError(QStringLiteral("LibreOffice could not open %1: the file is damaged, locked or "
                                              "of a type it does not read.").arg(quoted(path)));
    return component;
}
