#pragma once

#include <QImage>
#include <QTransform>
#include <functional>

class QPainter;

namespace lumora {

/// Height of the fixed bands that vector painting on a raster is split into: every band is
/// painted with a painter of its own, clipped to it.
inline constexpr int kPaintBandRows = 256;

/// Paints onto `raster`, which holds the rows from `firstRow` on of a raster that the picture
/// is drawn for, from all cores: each band of kPaintBandRows rows of that whole raster (counted
/// from its row 0) gets a painter on a view of its rows, and `paint(painter, shift)` draws the
/// picture with `shift` appended to its device transform. Qt's anti-aliasing steps along an edge
/// from where the clip begins, so the pixels depend on where bands start: with the same fixed
/// bands, a raster painted whole and one painted a band at a time (`firstRow` a multiple of
/// kPaintBandRows) get the same pixels, on any number of cores.
void paintInRowBands(QImage& raster, int firstRow, const std::function<void(QPainter&, const QTransform&)>& paint);

} // namespace lumora
