#pragma once

#include "libreoffice/layer.h"

// Internal to the adapter, as unocall.h is.

#include "libreoffice/document/session.h"
#include "libreoffice/process/helddocument.h"
#include "libreoffice/unocall.h"

#include <QList>
#include <QRect>

// Where the charts of a document's first sheet lie, in 1/100 mm, in their
// order there. To be called in an engine call.
QList<QRect> FirstSheetChartPlaces(const Reference<css::uno::XInterface> &document);

// Moves the charts of a saved document's first sheet to where they lie once
// the workbook is opened again, and has the engine lay them out anew there,
// so that the document draws as the reopened workbook would. False, with
// nothing moved, when a chart is not where the places were measured from. To
// be called in an engine call.
bool MoveChartsAsReopened(const Reference<css::uno::XInterface> &document, const QList<ReopenedChartPlace> &places);

// Gives the charts of a saved document's first sheet that were drawn flat the
// scales their axes had before, as the workbook opened again has them: the
// engine turns a pie it made flat the other way round. After the save, since
// the workbook keeps where the pie lay as the document was laid out then. To
// be called in an engine call.
void TurnFlatChartsAsReopened(const Reference<css::uno::XInterface> &document,
                              const std::vector<Session::FlatChart> &flatCharts);
