#include "pipeline/Encoders.h"

#include "base/Parallel.h"
#include "pipeline/Raster.h"
#include "pipeline/VipsSupport.h"

#include <cmath>
#include <vector>

namespace lumora {

namespace {

/// Premultiplied ARGB32 → packed RGB over white: c + (255 − a) per channel.
HugeBuffer rgbOverWhite(const QImage& raster)
{
    const int w = raster.width();
    const int h = raster.height();
    HugeBuffer rgb = newHugeBuffer(size_t(w) * size_t(h) * 3);
    if (!rgb)
        return rgb;
    parallelBands(h, 32, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            const quint32* __restrict src = reinterpret_cast<const quint32*>(raster.constScanLine(y));
            auto* __restrict dst = reinterpret_cast<quint8*>(rgb.get()) + size_t(y) * size_t(w) * 3;
            for (int x = 0; x < w; ++x) {
                const quint32 p = src[x];
                const quint32 white = 255 - (p >> 24);
                dst[3 * x] = quint8(((p >> 16) & 0xFF) + white);
                dst[3 * x + 1] = quint8(((p >> 8) & 0xFF) + white);
                dst[3 * x + 2] = quint8((p & 0xFF) + white);
            }
        }
    });
    return rgb;
}

/// Applies a pending mirror and quarter turn inside libvips' pipeline, so the permutation runs
/// on the worker threads while the compressor consumes rows on its own.
bool applyTurn(vips::Ref& image, Dihedral turn)
{
    vips::Ref next;
    if (turn.flipH) {
        if (vips_flip(image.get(), next.out(), VIPS_DIRECTION_HORIZONTAL, nullptr) != 0)
            return false;
        image = std::move(next);
    }
    if (turn.flipV) {
        if (vips_flip(image.get(), next.out(), VIPS_DIRECTION_VERTICAL, nullptr) != 0)
            return false;
        image = std::move(next);
    }
    const int quarter = ((turn.quarterTurns % 4) + 4) % 4;
    if (quarter != 0) {
        // Counter-clockwise quarter turns; libvips turns clockwise.
        const VipsAngle angle = quarter == 1 ? VIPS_ANGLE_D270 : quarter == 2 ? VIPS_ANGLE_D180 : VIPS_ANGLE_D90;
        if (vips_rot(image.get(), next.out(), angle, nullptr) != 0)
            return false;
        image = std::move(next);
    }
    return true;
}

QByteArray takeBuffer(void* buffer, size_t length)
{
    QByteArray bytes(static_cast<const char*>(buffer), qsizetype(length));
    g_free(buffer);
    return bytes;
}

} // namespace

Error encodingError(encoderErrors::Code code)
{
    QString text;
    switch (code) {
    case encoderErrors::jpegNoImage: text = QStringLiteral("CGImage konnte nicht erzeugt werden"); break;
    case encoderErrors::jpegNoDestination:
        text = QStringLiteral("CGImageDestination konnte nicht erstellt werden");
        break;
    case encoderErrors::jpegEncodingFailed: text = QStringLiteral("JPEG-Encoding fehlgeschlagen"); break;
    case encoderErrors::pngNoImage: text = QStringLiteral("CGImage für PNG konnte nicht erzeugt werden"); break;
    case encoderErrors::pngNoDestination:
        text = QStringLiteral("CGImageDestination für PNG konnte nicht erstellt werden");
        break;
    case encoderErrors::pngEncodingFailed: text = QStringLiteral("PNG-Encoding fehlgeschlagen"); break;
    }
    return Error{encoderErrors::domain, code, text};
}

std::expected<QByteArray, Error> encodeJPEG(const Image& image, double quality)
{
    if (image.isNull())
        return std::unexpected(encodingError(encoderErrors::jpegNoImage));
    const QImage& raster = image.raster;
    const HugeBuffer rgb = rgbOverWhite(raster);
    if (!rgb)
        return std::unexpected(encodingError(encoderErrors::jpegNoImage));

    vips::ensureStarted();
    const size_t bytes = size_t(raster.width()) * size_t(raster.height()) * 3;
    vips::Ref wrapped(
        vips_image_new_from_memory(rgb.get(), bytes, raster.width(), raster.height(), 3, VIPS_FORMAT_UCHAR));
    if (!wrapped || !applyTurn(wrapped, image.pendingTurn)) {
        vips::takeError();
        return std::unexpected(encodingError(encoderErrors::jpegNoDestination));
    }
    const int q = std::clamp(int(std::lround(quality * 100.0)), 1, 100);
    const VipsForeignSubsample subsample = quality >= 0.9 ? VIPS_FOREIGN_SUBSAMPLE_OFF : VIPS_FOREIGN_SUBSAMPLE_ON;
    void* buffer = nullptr;
    size_t length = 0;
    if (vips_jpegsave_buffer(wrapped.get(), &buffer, &length, "Q", q, "subsample_mode", subsample, "strip", TRUE,
                             "optimize_coding", FALSE, "interlace", FALSE, nullptr)
        != 0) {
        vips::takeError();
        return std::unexpected(encodingError(encoderErrors::jpegEncodingFailed));
    }
    return takeBuffer(buffer, length);
}

std::expected<QByteArray, Error> encodePNG(const Image& image)
{
    if (image.isNull())
        return std::unexpected(encodingError(encoderErrors::pngNoImage));
    const QImage rgba = image.raster.convertToFormat(QImage::Format_RGBA8888);
    if (rgba.isNull())
        return std::unexpected(encodingError(encoderErrors::pngNoImage));
    // libvips needs rows without padding; RGBA8888 rows are 4-byte aligned and so unpadded.
    vips::ensureStarted();
    vips::Ref wrapped(vips_image_new_from_memory(rgba.constBits(), size_t(rgba.sizeInBytes()), rgba.width(),
                                                 rgba.height(), 4, VIPS_FORMAT_UCHAR));
    if (!wrapped || !applyTurn(wrapped, image.pendingTurn)) {
        vips::takeError();
        return std::unexpected(encodingError(encoderErrors::pngNoDestination));
    }
    void* buffer = nullptr;
    size_t length = 0;
    if (vips_pngsave_buffer(wrapped.get(), &buffer, &length, "compression", 6, "strip", TRUE, nullptr) != 0) {
        vips::takeError();
        return std::unexpected(encodingError(encoderErrors::pngEncodingFailed));
    }
    return takeBuffer(buffer, length);
}

} // namespace lumora
