#pragma once

#include "libreoffice/layer.h"

// Internal to the adapter, as unocall.h is.

#include "libreoffice/unocall.h"

#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>

// The drawings on a sheet, charts and any other shape, for a picture that may
// drop them once it has drawn them: every drawing of a band of the sheet lays
// each of them out anew, a long pie's chart for most of a second a band, even
// where the band shows nothing of them.
class SheetDrawings
{
public:
    // To be made in an engine call.
    explicit SheetDrawings(const css::uno::Reference<css::sheet::XSpreadsheet> &sheet);

    // The first row (from 0) that lies wholly below every drawing and the
    // lines and shading the engine draws around it; -1 when the sheet has
    // no drawings.
    int firstRowBelow() const { return mFirstRowBelow; }
    // Removes them all, once: from then on firstRowBelow() is -1. The
    // document's changed flag stays as it was, so that closing it unsaved
    // asks nothing more than it would have. To be called in an engine call.
    void remove(const css::uno::Reference<css::frame::XModel> &model);

private:
    css::uno::Reference<css::sheet::XSpreadsheet> mSheet;
    int mFirstRowBelow = -1;
};
