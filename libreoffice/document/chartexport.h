#pragma once

#include "libreoffice/layer.h"

#include "libreoffice/unocall.h"

#include <com/sun/star/frame/XModel.hpp>

// Writes the first chart of the document's first sheet alone, drawn as the
// sheet draws it, to a picture file: SVG, or PNG at `scale` times the size
// it has on the sheet's picture. Throws SpreadsheetError when the sheet has
// no chart; UNO exceptions pass through to the caller's engine call.
void ExportFirstChart(const Reference<css::uno::XComponentContext> &context,
                      const Reference<css::frame::XModel> &document, const QString &target, bool vector,
                      int scale = 1);
