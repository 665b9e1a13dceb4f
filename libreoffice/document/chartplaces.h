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

// Gives the charts of a document just saved as an .xls workbook what that
// workbook opened again gives them: the direction of a pie drawn flat, which
// the engine turns the other way round in a pie it makes, and the fill of the
// slices beyond those the workbook holds. After the save: the workbook keeps
// where the pie lay as the document was laid out then. To be called in an
// engine call.
void FormatChartsAsReopened(const Reference<css::uno::XInterface> &document,
                            const std::vector<Session::FlatChart> &flatCharts);
