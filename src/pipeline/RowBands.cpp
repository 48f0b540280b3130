#include "pipeline/RowBands.h"

#include "base/Parallel.h"

#include <QPainter>
#include <algorithm>

namespace lumora {

void paintInRowBands(QImage& raster, int firstRow, const std::function<void(QPainter&, const QTransform&)>& paint)
{
    if (raster.isNull())
        return;
    uchar* bits = raster.bits(); // detach once, before the threads share the buffer
    const qsizetype stride = raster.bytesPerLine();
    const int width = raster.width();
    const int lastRow = firstRow + raster.height(); // of the whole raster, exclusive
    const int firstBand = firstRow / kPaintBandRows;
    const int bands = (lastRow - 1) / kPaintBandRows - firstBand + 1;
    parallelBands(bands, 1, [&](int b0, int b1) {
        for (int b = firstBand + b0; b < firstBand + b1; ++b) {
            const int y0 = std::max(b * kPaintBandRows, firstRow);
            const int y1 = std::min((b + 1) * kPaintBandRows, lastRow);
            QImage band(bits + stride * (y0 - firstRow), width, y1 - y0, stride, raster.format());
            QPainter painter(&band);
            paint(painter, QTransform::fromTranslate(0, -y0));
        }
    });
}

} // namespace lumora
