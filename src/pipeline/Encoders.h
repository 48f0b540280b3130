#pragma once

#include "base/Error.h"
#include "pipeline/Image.h"

#include <QByteArray>
#include <QByteArrayView>
#include <expected>
#include <functional>
#include <memory>
#include <optional>

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

/// Something that takes a raster's rows top to bottom, band by band, and makes the file's
/// bytes: the streamed form of encodeJPEG and encodePNG, with the same bytes.
class BandEncoder {
public:
    virtual ~BandEncoder() = default;
    /// Takes the next rows (premultiplied ARGB32, the image's width). Fails with the
    /// encoder's errors, and when the rows do not fit; after a failure every call fails.
    [[nodiscard]] virtual std::expected<void, Error> add(const QImage& rows) = 0;
    /// The file's bytes, once all rows have been added (none when they went to a sink).
    [[nodiscard]] virtual std::expected<QByteArray, Error> finish() = 0;
};

/// Takes an encoder's bytes as they are made, in order; false when they cannot be taken (the
/// encoder then fails).
using ByteSink = std::function<bool(QByteArrayView)>;

/// encodeJPEG row band by row band: holds one row and the compressed bytes, never the raster.
/// With a sink, the bytes go to it as they are made (in parts of at most kJpegSinkPart bytes)
/// and only those of one part are held; finish() then returns no bytes.
class JpegBandEncoder final : public BandEncoder {
public:
    static constexpr qsizetype kJpegSinkPart = qsizetype(1) << 18;
    JpegBandEncoder(QSize size, double quality, ByteSink sink = {});
    ~JpegBandEncoder() override;
    JpegBandEncoder(const JpegBandEncoder&) = delete;
    JpegBandEncoder& operator=(const JpegBandEncoder&) = delete;
    [[nodiscard]] std::expected<void, Error> add(const QImage& rows) override;
    [[nodiscard]] std::expected<QByteArray, Error> finish() override;

    struct State; ///< libjpeg's (private)

private:
    std::unique_ptr<State> m_state;
    QSize m_size;
    int m_rowsDone = 0;
    std::optional<encoderErrors::Code> m_failed;
};

/// encodePNG band by band: gathers the rows as un-premultiplied RGBA (the one copy the PNG
/// encoder needs anyway), then encodes them.
class PngBandEncoder final : public BandEncoder {
public:
    explicit PngBandEncoder(QSize size);
    [[nodiscard]] std::expected<void, Error> add(const QImage& rows) override;
    [[nodiscard]] std::expected<QByteArray, Error> finish() override;

private:
    QImage m_rgba;
    int m_rowsDone = 0;
};

/// The encoder error of `code` with its German description.
[[nodiscard]] Error encodingError(encoderErrors::Code code);

} // namespace lumora
