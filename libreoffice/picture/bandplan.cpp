#include "libreoffice/picture/bandplan.h"

#include <QSizeF>

#include <algorithm>
#include <cmath>

qint64 BandPlanInput::drawnWidth(int from, int to) const
{
    qint64 pixels = 0;
    for (int i = from; i < to; ++i)
        pixels += columns.at(i - firstColumn).drawn;
    return pixels;
}

qint64 BandPlanInput::hmmWidth(int from, int to) const
{
    const Column &last = columns.at(to - firstColumn);
    return last.left + last.width - columns.at(from - firstColumn).left;
}

namespace {

// Lays bands of a number of rows each one below the other.
class BandLayer
{
public:
    BandLayer(const BandPlanInput &sheet, const RowHeights &rows) : mSheet(sheet), mRows(rows) {}

    void addBands(int from, int to, int rowsPerBand, double factor, int fromColumn, int toColumn)
    {
        const qint64 bandWidth = mSheet.hmmWidth(fromColumn, toColumn);
        for (int row = from; row <= to;) {
            PictureBand band;
            band.firstRow = row;
            band.lastRow = std::min(to, row + rowsPerBand - 1);
            band.firstColumn = fromColumn;
            band.lastColumn = toColumn;
            band.left = mSheet.drawnWidth(mSheet.firstColumn, fromColumn);
            band.top = bands.isEmpty() ? 0 : bands.last().top + bands.last().height;
            band.height = mRows.drawnPixels(band.firstRow, band.lastRow + 1);
            band.factor = factor;
            if (factor != 1.0)   // never 0, which would ask for the full size
                band.requested = (QSizeF(bandWidth, mRows.sheetHmm(band.firstRow, band.lastRow + 1)) * kPixelsPerHmm
                                  * factor)
                                         .toSize()
                                         .expandedTo({1, 1});
            bands.append(band);
            row = band.lastRow + 1;
        }
    }

    QList<PictureBand> bands;

private:
    const BandPlanInput &mSheet;
    const RowHeights &mRows;
};

// Read at full size: the charts lie wholly in the first band; below them only
// the used range's columns hold anything.
void planFullSize(const BandPlanInput &sheet, double rowPixels, BandLayer &layer)
{
    const int fullSizeRowsPerBand = std::max(1, int(kMaxFullSizeBandPixels / rowPixels));
    const int firstBandRows = std::max(sheet.chartsLastRow - sheet.firstRow + 1, fullSizeRowsPerBand);
    layer.addBands(sheet.firstRow, std::min(sheet.lastRow, sheet.firstRow + firstBandRows - 1), firstBandRows, 1.0,
                   sheet.firstColumn, sheet.lastColumn());
    layer.addBands(sheet.firstRow + firstBandRows, sheet.lastRow, fullSizeRowsPerBand, 1.0, sheet.usedFirstColumn,
                   sheet.usedLastColumn);
    // The charts are drawn at their exact size; they may reach below the
    // cells of the first band's last row.
    if (layer.bands.size() == 1)
        layer.bands.first().height = std::max(layer.bands.first().height, sheet.shownBottom);
}

// A reduced picture: each band is reduced by the engine before its pixels
// come over. Its picture export, should a band go that way, leaves drawings at
// full size, so the rows that hold the charts are drawn at full size and
// reduced here.
void planReduced(const BandPlanInput &sheet, double rowPixels, BandLayer &layer)
{
    int reducedFrom = sheet.firstRow;
    if (sheet.hasCharts) {
        // A chart drawn at its exact size reaches a few pixels further down
        // than the cells beside it.
        const int chartRows = sheet.chartsLastRow - sheet.firstRow + 1;
        reducedFrom = std::min(sheet.lastRow, sheet.chartsLastRow + chartRows / 10 + 2) + 1;
        layer.addBands(sheet.firstRow, reducedFrom - 1, reducedFrom - sheet.firstRow, 1.0, sheet.firstColumn,
                       sheet.lastColumn());
    }
    // Below the charts only the used range's columns hold anything: the
    // engine's time goes with the pixels it draws.
    const int rowsPerBand = std::max(1, int(kMaxBandPixels / rowPixels));
    layer.addBands(reducedFrom, sheet.lastRow, rowsPerBand, sheet.scale, sheet.usedFirstColumn, sheet.usedLastColumn);
}

} // namespace

QList<PictureBand> PlanBands(const BandPlanInput &sheet, const RowHeights &rows)
{
    BandLayer layer(sheet, rows);
    const double rowPixels = std::max(1.0, sheet.usedRowHeight * kPixelsPerHmm);
    if (sheet.scale > kMaxEngineReducedScale)
        planFullSize(sheet, rowPixels, layer);
    else
        planReduced(sheet, rowPixels, layer);
    return layer.bands;
}
