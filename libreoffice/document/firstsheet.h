#pragma once

#include "libreoffice/layer.h"

#include "libreoffice/unocall.h"

#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>

// The first sheet of a spreadsheet document, as the interface the caller
// needs of it. To be called in an engine call.
template <typename Interface>
Reference<Interface> FirstSheetOf(const Reference<css::uno::XInterface> &document)
{
    const Reference<css::sheet::XSpreadsheetDocument> spreadsheet(document, UNO_QUERY_THROW);
    const Reference<css::container::XIndexAccess> sheets(spreadsheet->getSheets(), UNO_QUERY_THROW);
    return Reference<Interface>(sheets->getByIndex(0), UNO_QUERY_THROW);
}
