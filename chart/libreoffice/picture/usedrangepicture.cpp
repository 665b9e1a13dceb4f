#include "chart/libreoffice/picture/usedrangepicture.h"

#include "chart/sheetpicture.h"

#include <com/sun/star/awt/Point.hpp>
#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/awt/Toolkit.hpp>
#include <com/sun/star/awt/XBitmap.hpp>
#include <com/sun/star/awt/XDevice.hpp>
#include <com/sun/star/awt/XGraphics.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/drawing/XDrawPageSupplier.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/view/XRenderable.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>

#include <QFile>
#include <QPainter>
#include <QRectF>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Sizes on a sheet are in 1/100 mm; its picture is drawn at 96 pixels an inch.
constexpr double kPixelsPerHmm = 96.0 / 2540.0;

// The engine stops drawing a range about 19,400 pixels (at full size) below
// its top, at full size or reduced, and leaves the rest of its picture white.
constexpr double kMaxBandPixels = 17500;
// A band drawn at full size comes over uncompressed: shorter bands keep what
// is held of it at once to some tens of megabytes, for a few milliseconds a band.
constexpr double kMaxFullSizeBandPixels = 4000;

// Up to this scale, where text is still read, bands are drawn at full size and
// reduced here. Below it each band is reduced by the engine before its pixels
// come over, a small part of them: drawn at full size and reduced on the
// engine's surface where it can, otherwise by its picture export, which lays
// text out anew at the smaller size (an amount that just fits its column may
// come out as "###").
constexpr double kMaxEngineReducedScale = 0.5;

double hmmToPixels(sal_Int32 hmm)
{
    return hmm * kPixelsPerHmm;
}

// The engine keeps row heights and column widths in twips and draws each cell
// with a whole number of pixels, truncated from a factor a hair below 1/15: a
// row of 300 twips (20 px) is drawn 19 px high. Drawings on the sheet, such as
// charts, are drawn at their exact size. So a long list ends well above where
// the sizes on the sheet say.
int drawnPixels(sal_Int32 hmm)
{
    const qint64 twips = std::llround(hmm * 1440.0 / 2540.0);
    if (twips <= 0)
        return 0;
    return int(std::max<qint64>(1, (twips * 96 - 1) / 1440));
}

// A length on the sheet in whole pixels, rounded as the engine rounds it.
int pixelsOf(sal_Int32 hmm)
{
    return int((2 * qint64(hmm) * 96 / 2540 + 1) / 2);
}

// Draws a range at full size straight onto a drawing surface of the engine's
// and takes its pixels, or those of the drawing reduced to the size given. It
// is the drawing that the engine's PNG export makes, without the export's
// second drawing of it with transparency and its compression, which cost
// several times the drawing itself. A null picture when the surface does not
// come back at the size of the range, for the caller to draw it another way.
QImage drawAtFullSize(const Reference<css::uno::XComponentContext> &context,
                      const Reference<css::frame::XModel> &model,
                      const Reference<css::table::XCellRange> &range, QSize reducedTo = {})
{
    const Reference<css::awt::XToolkit2> toolkit = css::awt::Toolkit::create(context);
    const Reference<css::view::XRenderable> renderable(model, UNO_QUERY_THROW);
    const Any selection(range);
    const auto onto = [&](const Reference<css::awt::XDevice> &device) {
        return properties({property("IsPrinter", Any(true)), property("RenderDevice", Any(device)),
                           property("View", Any(model->getCurrentController())),
                           property("RenderToGraphic", Any(true))});
    };
    const auto measuring = onto(toolkit->createScreenCompatibleDevice(32, 32));
    if (renderable->getRendererCount(selection, measuring) < 1)
        return {};
    css::awt::Size page;
    css::awt::Point corner;
    for (const auto &value : renderable->getRenderer(0, selection, measuring)) {
        if (value.Name == "PageSize")
            value.Value >>= page;
        else if (value.Name == "CalcPagePos")
            value.Value >>= corner;
    }
    const QSize size(pixelsOf(page.Width), pixelsOf(page.Height));
    if (size.isEmpty())
        return {};
    const auto device = toolkit->createScreenCompatibleDevice(size.width(), size.height());
    renderable->render(0, selection, onto(device));
    // The drawing leaves the surface measuring in 1/100 mm from the corner of
    // the sheet, with the range's top left corner at the surface's.
    const auto toHmm = [](int pixels) { return sal_Int32(std::lround(pixels * 2540.0 / 96)); };
    Sequence<sal_Int8> bitmap;
    if (reducedTo.isValid()) {
        const auto reduced = toolkit->createScreenCompatibleDevice(reducedTo.width(), reducedTo.height());
        reduced->createGraphics()->copy(device, corner.X, corner.Y, toHmm(size.width()), toHmm(size.height()), 0, 0,
                                        reducedTo.width(), reducedTo.height());
        bitmap = reduced->createBitmap(0, 0, reducedTo.width(), reducedTo.height())->getDIB();
    } else {
        bitmap = device->createBitmap(corner.X, corner.Y, toHmm(size.width()), toHmm(size.height()))->getDIB();
    }
    try {
        QImage drawn = ReadSheetPicture(
                QByteArray::fromRawData(reinterpret_cast<const char *>(bitmap.getConstArray()), bitmap.getLength()),
                QStringLiteral("drawn by LibreOffice"));
        if (drawn.size() == (reducedTo.isValid() ? reducedTo : size))
            return drawn;
    } catch (const Failure &) {
    }
    return {};
}

// A band of rows of a sheet's picture, drawn by the engine in one piece.
struct PictureBand {
    sal_Int32 firstRow = 0, lastRow = 0;
    sal_Int32 firstColumn = 0, lastColumn = 0;
    qint64 top = 0, height = 0;   // where its cells are drawn, in pixels from the picture's top
    qint64 left = 0;              // in pixels from the range's left edge
    double factor = 1.0;          // of the full scale, at which the engine draws it
    QSize requested;              // the size of the engine's picture, when drawn reduced

    Reference<css::table::XCellRange> range(const Reference<css::sheet::XSpreadsheet> &sheet) const
    {
        return sheet->getCellRangeByPosition(firstColumn, firstRow, lastColumn, lastRow);
    }
};

} // namespace

// Bands of rows are laid out on the engine's side first, then drawn and put
// together here.
QImage UsedRangePicture(EngineProcess &engine, const Reference<css::frame::XModel> &model,
                        const Reference<css::sheet::XSpreadsheet> &sheet, bool drawDirectly)
{
    const QString action = QStringLiteral("take a picture of the used range");

    using Band = PictureBand;
    sal_Int32 firstColumn = 0, lastColumn = 0;
    QRectF shown;   // what the picture must show, in pixels from the corner of the range drawn
    QRect full;     // the same in whole pixels
    double scale = 1.0;
    QList<Band> bands;
    engineCall(engine, action, [&] {
        const auto cursor = sheet->createCursor();
        const Reference<css::sheet::XUsedAreaCursor> used(cursor, UNO_QUERY_THROW);
        used->gotoStartOfUsedArea(false);
        used->gotoEndOfUsedArea(true);
        const auto area = Reference<css::sheet::XCellRangeAddressable>(cursor, UNO_QUERY_THROW)->getRangeAddress();

        const auto cellRect = [&](sal_Int32 column, sal_Int32 row) {
            const Reference<css::beans::XPropertySet> properties(sheet->getCellByPosition(column, row),
                                                                 UNO_QUERY_THROW);
            const auto position = properties->getPropertyValue(OUString("Position")).get<css::awt::Point>();
            const auto size = properties->getPropertyValue(OUString("Size")).get<css::awt::Size>();
            return std::pair(position, size);
        };
        // Where a cell starts, when its size is not needed.
        const auto cellPosition = [&](sal_Int32 column, sal_Int32 row) {
            const Reference<css::beans::XPropertySet> properties(sheet->getCellByPosition(column, row),
                                                                 UNO_QUERY_THROW);
            return properties->getPropertyValue(OUString("Position")).get<css::awt::Point>();
        };

        // The range drawn reaches from the used range to the farthest chart,
        // so that a chart placed beside the data is part of it.
        firstColumn = area.StartColumn;
        lastColumn = area.EndColumn;
        sal_Int32 firstRow = area.StartRow, lastRow = area.EndRow;
        const auto [usedCorner, usedCornerSize] = cellRect(area.StartColumn, area.StartRow);
        const auto [usedEnd, usedEndSize] = cellRect(area.EndColumn, area.EndRow);
        sal_Int32 left = usedCorner.X, top = usedCorner.Y;
        sal_Int32 right = usedEnd.X + usedEndSize.Width;
        QList<QRect> charts;   // in 1/100 mm
        const Reference<css::drawing::XDrawPageSupplier> pageSupplier(sheet, UNO_QUERY_THROW);
        const Reference<css::container::XIndexAccess> shapes(pageSupplier->getDrawPage(), UNO_QUERY_THROW);
        for (sal_Int32 i = 0; i < shapes->getCount(); ++i) {
            const Reference<css::drawing::XShape> shape(shapes->getByIndex(i), UNO_QUERY);
            if (!shape.is() || shape->getShapeType() != "com.sun.star.drawing.OLE2Shape")
                continue;
            const auto position = shape->getPosition();
            const auto size = shape->getSize();
            left = std::min(left, position.X);
            top = std::min(top, position.Y);
            right = std::max(right, position.X + size.Width);
            charts.append(QRect(position.X, position.Y, size.Width, size.Height));
        }
        sal_Int32 chartsLastRow = 0;
        if (!charts.isEmpty()) {
            while (firstColumn > 0 && cellPosition(firstColumn, firstRow).X > left)
                --firstColumn;
            while (firstRow > 0 && cellPosition(firstColumn, firstRow).Y > top)
                --firstRow;
            // Guessed as if the columns past the used range were all as wide
            // as the first of them, and the rows as high as the used range's first.
            const sal_Int32 pastColumn = std::min(area.EndColumn + 1, 16383);
            const auto [past, pastSize] = cellRect(pastColumn, firstRow);
            const sal_Int32 columnGuess = pastColumn + (right - past.X) / std::max<sal_Int32>(1, pastSize.Width);
            lastColumn = sal_Int32(FirstIndexWhere(lastColumn, 16383, columnGuess, [&](sal_Int32 column) {
                const auto [position, size] = cellRect(column, firstRow);
                return position.X + size.Width >= right;
            }));
            sal_Int32 chartsBottom = top;
            for (const QRect &chart : std::as_const(charts))
                chartsBottom = std::max(chartsBottom, chart.y() + chart.height());
            const sal_Int32 rowGuess =
                    area.StartRow + (chartsBottom - usedCorner.Y) / std::max<sal_Int32>(1, usedCornerSize.Height);
            chartsLastRow = sal_Int32(FirstIndexWhere(firstRow, 1048575, rowGuess, [&](sal_Int32 row) {
                const auto [position, size] = cellRect(firstColumn, row);
                return position.Y + size.Height >= chartsBottom;
            }));
            lastRow = std::max(lastRow, chartsLastRow);
        }

        // Where the cells are drawn, in whole pixels per row and column. Rows
        // of one height, as a list's rows are, are counted without asking for
        // each of thousands of rows.
        const Reference<css::table::XColumnRowRange> columnRows(sheet, UNO_QUERY_THROW);
        const Reference<css::container::XIndexAccess> columns(columnRows->getColumns(), UNO_QUERY_THROW);
        const Reference<css::container::XIndexAccess> rows(columnRows->getRows(), UNO_QUERY_THROW);
        const auto sizeOf = [](const Reference<css::container::XIndexAccess> &lines, const OUString &name,
                               sal_Int32 index) {
            const Reference<css::beans::XPropertySet> line(lines->getByIndex(index), UNO_QUERY_THROW);
            return line->getPropertyValue(name).get<sal_Int32>();
        };
        const OUString width("Width"), height("Height");
        const auto drawnWidth = [&](sal_Int32 from, sal_Int32 to) {   // columns [from, to)
            qint64 pixels = 0;
            for (sal_Int32 i = from; i < to; ++i)
                pixels += drawnPixels(sizeOf(columns, width, i));
            return pixels;
        };
        const sal_Int32 usedRowHeight = sizeOf(rows, height, area.StartRow);
        const auto rowTop = [&](sal_Int32 row) { return cellPosition(firstColumn, row).Y; };
        // The height of rows [from, to) as the sheet gives it, in 1/100 mm.
        const auto sheetHeight = [&](sal_Int32 from, sal_Int32 to) {
            return qint64(rowTop(to - 1)) + sizeOf(rows, height, to - 1) - rowTop(from);
        };
        const auto drawnHeight = [&](sal_Int32 from, sal_Int32 to) -> qint64 {   // rows [from, to)
            if (to <= from)
                return 0;
            const qint64 count = to - from;
            // Each row's size is rounded from twips on its own: allow that much.
            if (sizeOf(rows, height, from) == usedRowHeight && sizeOf(rows, height, to - 1) == usedRowHeight
                && std::abs(sheetHeight(from, to) - count * usedRowHeight) <= count / 2 + 2)
                return count * drawnPixels(usedRowHeight);
            qint64 pixels = 0;
            for (sal_Int32 i = from; i < to; ++i)
                pixels += drawnPixels(sizeOf(rows, height, i));
            return pixels;
        };

        const auto rangeCorner = cellPosition(firstColumn, firstRow);
        shown = QRectF(drawnWidth(firstColumn, area.StartColumn), drawnHeight(firstRow, area.StartRow),
                       drawnWidth(area.StartColumn, area.EndColumn + 1),
                       drawnHeight(area.StartRow, area.EndRow + 1));
        for (const QRect &chart : std::as_const(charts))
            shown |= QRectF(hmmToPixels(chart.x() - rangeCorner.X), hmmToPixels(chart.y() - rangeCorner.Y),
                            hmmToPixels(chart.width()), hmmToPixels(chart.height()));
        full = QRect(QPoint(int(std::floor(shown.left())), int(std::floor(shown.top()))),
                     QPoint(int(std::ceil(shown.right())) - 1, int(std::ceil(shown.bottom())) - 1));
        // The range's size as the sheet gives it, in pixels: the size of the
        // engine's picture of it at full scale.
        // A cell's left edge does not depend on its row: the width is the same
        // for every band.
        const auto hmmWidth = [&](sal_Int32 from, sal_Int32 to) {   // columns [from, to]
            return qint64(cellPosition(to, firstRow).X) + sizeOf(columns, width, to) - cellPosition(from, firstRow).X;
        };
        // Bands of rows that the engine draws in one piece each, its sizes as
        // the sheet gives them staying well inside what it draws.
        const auto addBands = [&](sal_Int32 from, sal_Int32 to, sal_Int32 rowsPerBand, double factor,
                                  sal_Int32 fromColumn, sal_Int32 toColumn) {
            const qint64 bandWidth = hmmWidth(fromColumn, toColumn);
            for (sal_Int32 row = from; row <= to;) {
                Band band;
                band.firstRow = row;
                band.lastRow = std::min(to, row + rowsPerBand - 1);
                band.firstColumn = fromColumn;
                band.lastColumn = toColumn;
                band.left = drawnWidth(firstColumn, fromColumn);
                band.top = bands.isEmpty() ? 0 : bands.last().top + bands.last().height;
                band.height = drawnHeight(band.firstRow, band.lastRow + 1);
                band.factor = factor;
                if (factor != 1.0)   // never 0, which would ask for the full size
                    band.requested = (QSizeF(bandWidth, sheetHeight(band.firstRow, band.lastRow + 1)) * kPixelsPerHmm
                                      * factor)
                                             .toSize()
                                             .expandedTo({1, 1});
                bands.append(band);
                row = band.lastRow + 1;
            }
        };
        const double rowLogic = std::max(1.0, hmmToPixels(usedRowHeight));
        const sal_Int32 rowsPerBand = std::max(1, int(kMaxBandPixels / rowLogic));

        scale = SheetPictureScale(full.size());
        if (scale > kMaxEngineReducedScale) {
            // The charts lie wholly in the first band; below them only the
            // used range's columns hold anything.
            const sal_Int32 fullSizeRowsPerBand = std::max(1, int(kMaxFullSizeBandPixels / rowLogic));
            const sal_Int32 firstBandRows = std::max(chartsLastRow - firstRow + 1, fullSizeRowsPerBand);
            addBands(firstRow, std::min(lastRow, firstRow + firstBandRows - 1), firstBandRows, 1.0, firstColumn,
                     lastColumn);
            addBands(firstRow + firstBandRows, lastRow, fullSizeRowsPerBand, 1.0, area.StartColumn, area.EndColumn);
            // The charts are drawn at their exact size; they may reach below
            // the cells of the first band's last row.
            if (bands.size() == 1)
                bands.first().height = std::max<qint64>(bands.first().height, qint64(std::ceil(shown.bottom())));
            return;
        }

        // A reduced picture: each band is reduced by the engine before its
        // pixels come over. Its picture export, should a band go that way,
        // leaves drawings at full size, so the rows that hold the charts are
        // drawn at full size and reduced here.
        sal_Int32 reducedFrom = firstRow;
        if (!charts.isEmpty()) {
            // A chart drawn at its exact size reaches a few pixels further down
            // than the cells beside it.
            const sal_Int32 chartRows = chartsLastRow - firstRow + 1;
            reducedFrom = std::min(lastRow, chartsLastRow + chartRows / 10 + 2) + 1;
            addBands(firstRow, reducedFrom - 1, reducedFrom - firstRow, 1.0, firstColumn, lastColumn);
        }
        // Below the charts only the used range's columns hold anything: the
        // engine's time goes with the pixels it draws.
        addBands(reducedFrom, lastRow, rowsPerBand, scale, area.StartColumn, area.EndColumn);
    });

    QImage picture(std::max(1, int(std::floor(full.width() * scale))),
                   std::max(1, int(std::floor(full.height() * scale))), QImage::Format_RGB32);
    if (picture.isNull())
        throw SpreadsheetError(QStringLiteral("There is not enough memory for the picture of the used range."));
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    static int pictures = 0;
    // The engine's PNG export, which also draws a range reduced.
    const auto exportBand = [&](const Band &band) {
        const QString bandPath = engine.scratchFolder() + QStringLiteral("/picture-%1.png").arg(++pictures);
        // The file is read back at once: hardly packed, it is quicker to write.
        QList<css::beans::PropertyValue> filterData{property("Compression", Any(sal_Int32(1)))};
        if (band.factor != 1.0) {
            // The engine draws the cells as at full size, scaled by the size
            // asked for over the range's size on the sheet.
            filterData.append(property("PixelWidth", Any(sal_Int32(band.requested.width()))));
            filterData.append(property("PixelHeight", Any(sal_Int32(band.requested.height()))));
        }
        engineCall(engine, action, [&] {
            const auto range = band.range(sheet);
            const Reference<css::view::XSelectionSupplier> selection(model->getCurrentController(),
                                                                     UNO_QUERY_THROW);
            selection->select(Any(range));
            const Reference<css::frame::XStorable> storable(model, UNO_QUERY_THROW);
            storable->storeToURL(
                    fileUrl(bandPath),
                    properties({property("FilterName", Any(OUString("calc_png_Export"))),
                                property("SelectionOnly", Any(true)),
                                property("FilterData",
                                         Any(Sequence<css::beans::PropertyValue>(filterData.data(),
                                                                                 sal_Int32(filterData.size()))))}));
        });
        QImage drawn;
        try {
            drawn = ReadSheetPicture(bandPath);
        } catch (const std::exception &) {
            QFile::remove(bandPath);
            throw SpreadsheetError(QStringLiteral("LibreOffice wrote no readable picture of the used range."));
        }
        QFile::remove(bandPath);
        return drawn;
    };
    const auto drawBand = [&](const Band &band) {
        QImage drawn;
        if (drawDirectly) {
            // Refused by the engine, the band is exported instead; an instance
            // that is gone ends the picture.
            try {
                drawn = engineCall(engine, action, [&] {
                    return drawAtFullSize(engine.connection().context, model, band.range(sheet),
                                          band.factor == 1.0 ? QSize() : band.requested);
                });
            } catch (const InstanceLostError &) {
                throw;
            } catch (const SpreadsheetError &) {
            }
        }
        if (drawn.isNull())
            drawn = exportBand(band);
        return drawn;
    };
    const auto placeBand = [&](const Band &band, const QImage &drawn) {
        // This band's part of the picture, in the band's pixels at full scale.
        const qint64 partLeft = std::max<qint64>(full.left(), band.left);
        const QRect part = QRect(int(partLeft - band.left), int(std::max<qint64>(full.top(), band.top) - band.top),
                                 int(full.right() + 1 - partLeft),
                                 int(std::min<qint64>(full.bottom() + 1, band.top + band.height)
                                     - std::max<qint64>(full.top(), band.top)));
        if (part.isEmpty())
            return;
        const qint64 partTop = band.top + part.top() - full.top();
        const int targetLeft = int(std::floor((partLeft - full.left()) * scale));
        const int targetTop = int(std::floor(partTop * scale));
        const int targetBottom = int(std::floor((partTop + part.height()) * scale));
        if (band.factor == scale) {
            // Drawn at the picture's scale: the pixels as the engine drew them.
            const QRect source = QRect(int(std::lround(part.x() * scale)), int(std::lround(part.y() * scale)),
                                       int(std::floor(part.width() * scale)), targetBottom - targetTop)
                                         .intersected(drawn.rect());
            painter.drawImage(QPoint(targetLeft, targetTop), drawn, source);
        } else {
            const QRect source = part.intersected(drawn.rect());
            const int sourceBottom = int(std::floor((partTop + source.height()) * scale));
            painter.drawImage(QRect(targetLeft, targetTop, int(std::floor(source.width() * scale)),
                                    sourceBottom - targetTop),
                              drawn, source);
        }
    };

    for (const Band &band : std::as_const(bands))
        placeBand(band, drawBand(band));
    return picture;
}

