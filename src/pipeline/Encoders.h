#pragma once

#include "base/Error.h"
#include "pipeline/Image.h"

#include <QByteArray>
#include <expected>

namespace lumora {

/// Errors of the encoders: domain "ImageProcessor" and these codes.
namespace encoderErrors {
inline constexpr QLatin1StringView domain{"ImageProcessor"};
enum Code : int {
    jpegNoImage = -1,        ///< no raster to encode as JPEG
    jpegNoDestination = -2,  ///< the JPEG encoder could not be created
    jpegEncodingFailed = -3, ///< encoding as JPEG failed
    pngNoImage = -10,        ///< no raster to encode as PNG
    pngNoDestination = -11,  ///< the PNG encoder could not be created
    pngEncodingFailed = -12, ///< encoding as PNG failed
};
} // namespace encoderErrors

/// Encodes the whole extent of `image` as baseline JPEG. `quality` in 0…1 maps to the encoder's
/// round(100 × quality), clamped to 1…100; 4:4:4 chroma at quality ≥ 0.9, else 4:2:0.
/// Transparent areas are composited over white. No metadata, no ICC profile, no orientation.
/// A pending turn of the image is applied while encoding.
/// Thread-safe; creates its own buffers. Fails with encoderErrors::jpegNoImage,
/// jpegNoDestination or jpegEncodingFailed.
[[nodiscard]] std::expected<QByteArray, Error> encodeJPEG(const Image& image, double quality);

/// Encodes the whole extent of `image` as 8-bit RGBA PNG (un-premultiplied, alpha kept, no
/// metadata). Thread-safe. Fails with encoderErrors::pngNoImage, pngNoDestination or pngEncodingFailed.
[[nodiscard]] std::expected<QByteArray, Error> encodePNG(const Image& image);

/// The encoder error of `code` with its German description.
[[nodiscard]] Error encodingError(encoderErrors::Code code);

} // namespace lumora
