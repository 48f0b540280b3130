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

/// The rows at which a JPEG strip may begin: eight rows of blocks in 4:2:0 and sixteen in
/// 4:4:4, so that the restart markers inside the strips and those between them count on.
inline constexpr int kJpegStripAlign = 128;

/// Rows [firstRow, firstRow + rows.height()) of a JPEG of `size` (as encodeJPEG writes it),
/// encoded on their own. The JPEG restarts at every row of blocks, so the file is the bytes of
/// its strips joined in order, however its rows were split: the first strip begins with the
/// header, the last one ends the file. `firstRow` is a multiple of kJpegStripAlign, and so is
/// the row count unless the strip reaches the last row; `rows` are premultiplied ARGB32.
/// Thread-safe: the strips of one image may be encoded on several threads at once. Fails with
/// encoderErrors::jpegNoImage or jpegEncodingFailed (also for rows that do not fit).
[[nodiscard]] std::expected<QByteArray, Error> encodeJpegStrip(QSize size, double quality, int firstRow,
                                                               const QImage& rows);
/// encodeJpegStrip into `bytes`, which the strip's bytes replace; the room `bytes` has is used
/// and kept, so that a buffer that goes from strip to strip is allocated once.
[[nodiscard]] std::expected<void, Error> encodeJpegStripInto(QSize size, double quality, int firstRow,
                                                             const QImage& rows, QByteArray& bytes);

/// encodeJPEG row band by row band: holds at most one strip of rows and the compressed bytes,
/// never the raster. With a sink, the bytes go to it in parts of kJpegSinkPart bytes (the last
/// one shorter) and only one part is held; finish() then returns no bytes.
class JpegBandEncoder final : public BandEncoder {
public:
    static constexpr qsizetype kJpegSinkPart = qsizetype(1) << 18;
    static constexpr int kStripRows = 2 * kJpegStripAlign;
    JpegBandEncoder(QSize size, double quality, ByteSink sink = {});
    [[nodiscard]] std::expected<void, Error> add(const QImage& rows) override;
    [[nodiscard]] std::expected<QByteArray, Error> finish() override;

private:
    std::expected<void, Error> encodeNext(const QImage& rows);
    std::expected<void, Error> fail(encoderErrors::Code code);

    QSize m_size;
    double m_quality;
    ByteSink m_sink;
    QImage m_pending; ///< rows of the next strip, when they come in smaller bands
    int m_pendingRows = 0;
    int m_rowsDone = 0; ///< rows encoded
    QByteArray m_bytes; ///< the file so far, or with a sink the part being filled
    QByteArray m_strip; ///< the last strip's bytes; its room is used again for the next
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
