#pragma once

#include <QImage>
#include <QRectF>
#include <QSize>
#include <optional>

namespace lumora {

/// A rendered image: an immutable raster and its extent. The extent is a rectangle in the
/// full-resolution pixel space of the render chain (origin lower-left, y up); after a quarter
/// turn it is no longer anchored at (0, 0). The raster covers the extent exactly; it is
/// smaller than the extent when the chain ran at a scale below 1 (then
/// raster.width() ≈ extent.width() × scale). Format_ARGB32_Premultiplied, top row first.
struct Image {
    QImage raster;
    QRectF extent;

    [[nodiscard]] bool isNull() const { return raster.isNull() || extent.isEmpty(); }
    /// The extent's size in whole pixels, as the file would be written at full resolution.
    [[nodiscard]] QSize fullPixelSize() const;
};

/// The displayed form of a render: the bitmap and the full-resolution pixel size it stands for.
struct Preview {
    QImage bitmap;
    QSize pixelSize;
};

/// Rasterises the whole extent of `image` (makePreview). None when the image is empty.
[[nodiscard]] std::optional<Preview> makePreview(const Image& image);

} // namespace lumora
