#pragma once

#include "pipeline/Image.h"

#include <QColor>
#include <QImage>
#include <QRectF>
#include <optional>

namespace lumora {

/// Composites `photo` over a new background through `mask`:
/// out = m·F + (1 − m)·G on premultiplied values, m being the mask stretched bilinearly and
/// independently per axis over the photo (any mask size and aspect ratio). G is, in this
/// order of priority: `backgroundPhoto` fitted by fotoEinpassen to the photo's extent (a null
/// image counts as not given); else `color` (white when the colour is invalid); else
/// transparent, so the result's alpha follows the mask. The result has the photo's extent
/// and raster size, Format_ARGB32_Premultiplied. None when the photo or the mask is empty.
/// Pure and thread-safe.
[[nodiscard]] std::optional<Image> hintergrundErsetzen(const Image& photo, const QImage& mask,
                                                       std::optional<QColor> color = std::nullopt,
                                                       const std::optional<Image>& backgroundPhoto = std::nullopt);

/// Scales `backgroundPhoto` uniformly so that it fills `target` (s = the larger of the two
/// axis ratios of the extents), centres it on `target` and crops it to `target`: what sticks
/// out on the longer axis is cut off equally on both sides. The result's extent is `target`;
/// its raster has Image{{}, target}.fullPixelSize() pixels. Bilinear sampling (area averaging
/// first for strong reductions). An empty background gives a transparent image. Pure and
/// thread-safe.
[[nodiscard]] Image fotoEinpassen(const Image& backgroundPhoto, QRectF target);

} // namespace lumora
