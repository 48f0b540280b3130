#pragma once

#include "pipeline/Dihedral.h"
#include "pipeline/EditState.h"

#include <QImage>
#include <QPoint>
#include <QRect>
#include <vector>

namespace lumora {

/// Exposure, colour controls and luminance sharpening (the render chain's steps 4-6, with the
/// arithmetic of the project's pixel notes), fused with a mirror/quarter turn, in one pass over
/// `source` using all cores. `sharpenSigma` is the Gaussian's standard deviation in pixels of
/// `source` (1.69 × render scale). Returns a new raster (turned size), or `source` itself when
/// nothing would change. Input and output are Format_ARGB32_Premultiplied.
[[nodiscard]] QImage colorAndTurn(const QImage& source, const AdjustmentState& adjustment, double sharpenSigma,
                                  Dihedral turn);

/// Rows [firstRow, firstRow + rowCount) of what colorAndTurn returns (the same pixels), as a new
/// raster of the turned width, made from all cores. Reads only the source rows (or, when the
/// turn transposes, columns) these rows come from, with the sharpening's reach around them.
/// The range is clipped to the turned raster; null when nothing is left. `reuse`, when it is a
/// premultiplied ARGB32 raster of the result's size that nothing else shares, is written over
/// and returned instead of a new raster (a band freed by whoever took the last one).
[[nodiscard]] QImage colorAndTurnRows(const QImage& source, const AdjustmentState& adjustment, double sharpenSigma,
                                      Dihedral turn, int firstRow, int rowCount, QImage reuse = {});

/// A piece of a source raster, each row wherever it is held: row y starts at `rows[y]` with
/// `width` premultiplied ARGB32 pixels.
struct SourceRows {
    std::vector<const uchar*> rows;
    int width = 0;
};

/// colorAndTurnRows of a source of `sourceSize` of which only `piece` is held: its pixels in
/// `area` of the source. `area` must hold the source rows (or columns) of the result's rows with
/// colorPassReach more around them, where the source has them; the pixels are then those of the
/// whole source's pass. Null when the piece does not have the area's size.
[[nodiscard]] QImage colorAndTurnRows(const SourceRows& piece, QRect area, QSize sourceSize,
                                      const AdjustmentState& adjustment, double sharpenSigma, Dihedral turn,
                                      int firstRow, int rowCount, QImage reuse = {});

/// The part of a source of `sourceSize` that rows [firstRow, firstRow + rowCount) of its turned
/// raster come from: those source rows, or with a transposing turn those columns, across the
/// whole source, with `reach` more on each side; clipped to the source.
[[nodiscard]] QRect sourceOfRows(QSize sourceSize, Dihedral turn, int firstRow, int rowCount, int reach);

/// How many source rows (and columns) beyond its own the pass reads for a pixel: the
/// sharpening's reach, 0 without sharpening.
[[nodiscard]] int colorPassReach(const AdjustmentState& adjustment, double sharpenSigma);

/// Whether the colour pass may use its own AVX2 kernels where the processor has AVX2 and FMA
/// (allowed by default): the table lookups with vector gathers, and the sharpening's vertical
/// pass fused with the output. Both ways give the same pixels; this is for the tests and
/// benchmarks that compare them. Thread-safe; takes effect for rows started afterwards.
void allowColorPassKernels(bool allowed);

/// The exposure table: 8-bit sRGB code → encoded float after multiplying linear light by 2^ev.
void exposureTable(double ev, float table[256]);

/// Normalised Gaussian taps for `sigma`, from the centre outwards (taps[0] is the centre).
[[nodiscard]] QList<float> gaussianTaps(double sigma);

} // namespace lumora
