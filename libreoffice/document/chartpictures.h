#pragma once

#include "libreoffice/layer.h"

// Internal to the adapter, as unocall.h is.

#include "libreoffice/unocall.h"

#include <com/sun/star/lang/XComponent.hpp>

// Each chart of the document's first sheet becomes a vector picture of it,
// drawn once, in the same place and at the same size, with the chart object's
// title and description (its text for assistive technology). For a copy that
// is only printed: while a PDF is written, each page's drawing asks every
// chart object its extent as it ends, and a chart object rebuilds itself to
// answer, which for a pie of thousands of slices takes seconds a page.
// To be called in an engine call.
void ReplaceChartsByPictures(const Reference<css::uno::XComponentContext> &context,
                             const Reference<css::lang::XComponent> &document);
