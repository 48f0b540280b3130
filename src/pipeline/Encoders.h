#pragma once

#include "base/Error.h"
#include "pipeline/Image.h"

#include <QByteArray>
#include <expected>

namespace lumora {

/// Encodes the whole extent of `image` as baseline JPEG. `quality` in 0…1 maps to the encoder's
/// round(100 × quality), clamped to 1…100; 4:4:4 chroma at quality ≥ 0.9, else 4:2:0.
/// Transparent areas are composited over white. No metadata, no ICC profile, no orientation.
/// A pending turn of the image is applied while encoding.
/// Thread-safe; creates its own buffers. Fails with domain "ImageProcessor", code −1 (no
/// raster), −2 (encoder not created) or −3 (encoding failed).
[[nodiscard]] std::expected<QByteArray, Error> encodeJPEG(const Image& image, double quality);

/// Encodes the whole extent of `image` as 8-bit RGBA PNG (un-premultiplied, alpha kept, no
/// metadata). Thread-safe. Fails with domain "ImageProcessor", code −10, −11 or −12.
[[nodiscard]] std::expected<QByteArray, Error> encodePNG(const Image& image);

/// The errors of the encoders, by code (−1, −2, −3, −10, −11, −12).
[[nodiscard]] Error encodingError(int code);

} // namespace lumora
